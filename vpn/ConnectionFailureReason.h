#pragma once

#include <QMetaType>

namespace Tavorin::Api::Services {

// Why a connection was refused or lost; the numbers reach the screens as plain ints.
enum ConnectionFailureReason : int {
    None = 0,
    NotLoggedIn = 1,
    NoServerSelected = 2,
    VipRequired = 3,
    TrialExhausted = 4,
    VipExpired = 5,
    VipExpiredAndTrialExhausted = 6,
    AccountSuspended = 7,
    AccountBanned = 8,
    ForcedOffline = 9,
    NetworkError = 10,
    ServerConnectionFailed = 11,
};

} // namespace Tavorin::Api::Services

Q_DECLARE_METATYPE(Tavorin::Api::Services::ConnectionFailureReason)
