#include "qnetworkaccessmanagerwrapper.h"

#include "httpreply.h"
#include "localfilereply.h"
#include "qnetworkreplywrapper.h"

#include <QAuthenticator>
#include <QNetworkAccessManager>
#include <QNetworkReply>

namespace shared {

QNetworkAccessManagerWrapper::QNetworkAccessManagerWrapper(std::shared_ptr<QNetworkAccessManager> pManager)
    : m_pManager(std::move(pManager))
{
    connect(m_pManager.get(), &QNetworkAccessManager::authenticationRequired, this,
            &QNetworkAccessManagerWrapper::authenticationRequired);
}

QNetworkReplyWrapper* QNetworkAccessManagerWrapper::get(const QNetworkRequest& oRequest)
{
    // Files of a medium are read here, not by the network layer, which would
    // follow links and wait on named pipes.
    // Plain http is read through connections of our own, which read in blocks;
    // only the wrapper reads the reply's head, and asks the reply for it.
    QNetworkReply* pReply = nullptr;
    if (oRequest.url().isLocalFile())
        pReply = new TLocalFileReply(oRequest, m_pManager.get());
    else if (THttpReply::takes(oRequest, m_pManager.get()))
        pReply = new THttpReply(oRequest, m_pManager.get(), THttpReply::EHeadFields::OnRequest);
    else
        pReply = m_pManager->get(oRequest);
    return new QNetworkReplyWrapper(pReply);
}

void QNetworkAccessManagerWrapper::setCache(QAbstractNetworkCache* pCache)
{
    m_pManager->setCache(pCache);
}

void QNetworkAccessManagerWrapper::setRedirectPolicy(QNetworkRequest::RedirectPolicy ePolicy)
{
    m_pManager->setRedirectPolicy(ePolicy);
}

} // namespace shared
