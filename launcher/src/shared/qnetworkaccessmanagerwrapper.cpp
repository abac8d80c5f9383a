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

QNetworkAccessManagerWrapper::QNetworkAccessManagerWrapper() = default;

QNetworkAccessManager* QNetworkAccessManagerWrapper::manager()
{
    if (!m_pManager) {
        m_pManager = std::make_shared<QNetworkAccessManager>();
        connect(m_pManager.get(), &QNetworkAccessManager::authenticationRequired, this,
                &QNetworkAccessManagerWrapper::authenticationRequired);
        if (m_oRedirectPolicy)
            m_pManager->setRedirectPolicy(*m_oRedirectPolicy);
    }
    return m_pManager.get();
}

QNetworkReplyWrapper* QNetworkAccessManagerWrapper::get(const QNetworkRequest& oRequest)
{
    // Files of a medium are read here, not by the network layer, which would
    // follow links and wait on named pipes.
    // Plain http is read through connections of our own, which read in blocks;
    // only the wrapper reads the reply's head, and asks the reply for it.
    QNetworkAccessManager* pManager = manager();
    QNetworkReply* pReply = nullptr;
    if (oRequest.url().isLocalFile())
        pReply = new TLocalFileReply(oRequest, pManager);
    else if (THttpReply::takes(oRequest, pManager))
        pReply = new THttpReply(oRequest, pManager, THttpReply::EHeadFields::OnRequest);
    else
        pReply = pManager->get(oRequest);
    return new QNetworkReplyWrapper(pReply);
}

void QNetworkAccessManagerWrapper::setCache(QAbstractNetworkCache* pCache)
{
    // A cache only serves requests: a manager made for it would be made for them soon.
    manager()->setCache(pCache);
}

void QNetworkAccessManagerWrapper::setRedirectPolicy(QNetworkRequest::RedirectPolicy ePolicy)
{
    if (m_pManager)
        m_pManager->setRedirectPolicy(ePolicy);
    else
        m_oRedirectPolicy = ePolicy;
}

} // namespace shared
