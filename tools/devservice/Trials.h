#pragma once

#include "Accounts.h"
#include "DevReply.h"

namespace MirevoDev {

class Configuration;

// The two trials an account may take once each: free-trial hours, and VIP days. Their lengths and
// whether they are offered at all come from the configuration.
class Trials
{
public:
    explicit Trials(const Configuration &settings) : configuration(settings) {}

    DevReply status(const Accounts::Account &account) const;
    DevReply activateFree(Accounts::Account &account) const;
    DevReply activateVip(Accounts::Account &account) const;

private:
    const Configuration &configuration;
};

} // namespace MirevoDev
