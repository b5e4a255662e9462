#pragma once

#include <QMetaType>

namespace Tavorin::Api::Services {

enum VpnConnectionState : int {
    Disconnected = 0,
    Connecting = 1,
    Connected = 2,
    Disconnecting = 3,
};

} // namespace Tavorin::Api::Services

Q_DECLARE_METATYPE(Tavorin::Api::Services::VpnConnectionState)
