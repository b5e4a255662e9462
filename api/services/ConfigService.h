#pragma once

#include "api/models/SystemConfig.h"
#include "api/models/TrialStatus.h"
#include "api/models/User.h"
#include "api/services/ServiceCallbacks.h"

#include <QObject>
#include <QString>

namespace Tavorin::Api::Services {

// The service's system configuration (kept in memory and in the settings file), the encryption
// settings it carries, and the trial operations of the signed-in account.
class ConfigService : public QObject
{
    Q_OBJECT

public:
    static ConfigService *instance();

    void initialize(const InitializeCallback &completion);
    void getConfigs(const SystemConfigCallback &completion);
    void activateFreeTrial(const UserCallback &completion);
    void activateVipTrial(const UserCallback &completion);
    void getTrialStatus(const TrialStatusCallback &completion);
    bool isMaintenanceMode() const;

    Models::SystemConfig getCurrentConfig() const { return currentConfig; }
    bool isConfigLoaded() const { return configLoaded; }

signals:
    void configUpdated(const Models::SystemConfig &config);
    void trialActivated(const Models::User &user);
    void maintenanceModeEntered();

private:
    explicit ConfigService(QObject *parent = nullptr);

    static bool isLoaded(const Models::SystemConfig &config);
    void applyEncryptionConfig(const Models::SystemConfig &config);
    void activateTrial(const QString &endpoint, bool vip, const UserCallback &completion);

    Models::SystemConfig currentConfig;
    bool configLoaded = false;
};

} // namespace Tavorin::Api::Services
