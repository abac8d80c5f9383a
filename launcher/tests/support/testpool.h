#pragma once

#include "shared/downloadpool.h"
#include "shared/qnetworkaccessmanagerwrapper.h"

#include <QNetworkAccessManager>

#include <memory>

// A network access manager of the test's own, as a download pool takes it.
inline std::shared_ptr<shared::QNetworkAccessManagerWrapper> newTestNetworkManager()
{
    return std::make_shared<shared::QNetworkAccessManagerWrapper>(std::make_shared<QNetworkAccessManager>());
}

// A pool of six parallel downloads on a manager of its own.
inline std::shared_ptr<shared::TDownloadPool> newTestPool()
{
    return std::make_shared<shared::TDownloadPool>(6, newTestNetworkManager());
}
