#pragma once

#include "api/models/User.h"

#include <QString>

#include <functional>

// The completion-function shapes of the service operations: (success, message, value), with a
// default value on failure. Each service adds the shapes of its own results beside these.
namespace Tavorin::Api::Services {

using UserCallback = std::function<void(bool success, const QString &message, const Models::User &user)>;
using ResultCallback = std::function<void(bool success, const QString &message)>;
using InitializeCallback = std::function<void(bool success)>;

} // namespace Tavorin::Api::Services
