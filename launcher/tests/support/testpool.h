#pragma once

#include "shared/downloadpool.h"
#include "shared/qnetworkaccessmanagerwrapper.h"

#include <memory>

// A network access manager of the test's own, as a download pool takes it: made
// at the first request, as the engine's is, so that what the pool sets before
// then (its redirect policy) is tried too.
inline std::shared_ptr<shared::QNetworkAccessManagerWrapper> newTestNetworkManager()
{
    return std::make_shared<shared::QNetworkAccessManagerWrapper>();
}

// A pool of six parallel downloads on a manager of its own.
inline std::shared_ptr<shared::TDownloadPool> newTestPool()
{
    return std::make_shared<shared::TDownloadPool>(6, newTestNetworkManager());
}
