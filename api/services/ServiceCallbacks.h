#pragma once

#include "api/models/SystemConfig.h"
#include "api/models/TrialStatus.h"
#include "api/models/User.h"

#include <QString>

#include <functional>

// The completion-function shapes of the service operations: (success, message, value), with a
// default value on failure. Each service adds the shapes of its own results beside these.
namespace Tavorin::Api::Services {

using UserCallback = std::function<void(bool success, const QString &message, const Models::User &user)>;
using ResultCallback = std::function<void(bool success, const QString &message)>;
using InitializeCallback = std::function<void(bool success)>;
using SystemConfigCallback =
    std::function<void(bool success, const QString &message, const Models::SystemConfig &config)>;
using TrialStatusCallback =
    std::function<void(bool success, const QString &message, const Models::TrialStatus &status)>;

} // namespace Tavorin::Api::Services
