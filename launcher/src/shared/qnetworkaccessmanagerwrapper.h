#pragma once

#include <QNetworkRequest>
#include <QObject>

#include <memory>
#include <optional>

class QAbstractNetworkCache;
class QAuthenticator;
class QNetworkAccessManager;
class QNetworkReply;

namespace shared {

class QNetworkReplyWrapper;

// Puts a (shared) QNetworkAccessManager behind virtual operations so that the
// download pool can be driven by test doubles.
class QNetworkAccessManagerWrapper : public QObject
{
    Q_OBJECT

public:
    explicit QNetworkAccessManagerWrapper(std::shared_ptr<QNetworkAccessManager> pManager);
    // Makes its own manager at the first request: the network layer's start
    // (its plugins and their thread) is a cost a verification, which fetches
    // nothing, need not pay.
    QNetworkAccessManagerWrapper();

    // The wrapper returned is a child of the new reply. Deleting the wrapper also
    // frees the reply, so a client that disposes of wrappers leaks no replies.
    virtual QNetworkReplyWrapper* get(const QNetworkRequest& oRequest);
    virtual void setCache(QAbstractNetworkCache* pCache);
    virtual void setRedirectPolicy(QNetworkRequest::RedirectPolicy ePolicy);

signals:
    void authenticationRequired(QNetworkReply* pReply, QAuthenticator* pAuthenticator);

private:
    QNetworkAccessManager* manager();

    std::shared_ptr<QNetworkAccessManager> m_pManager;
    // The policy the manager is to have once it is made.
    std::optional<QNetworkRequest::RedirectPolicy> m_oRedirectPolicy;
};

} // namespace shared
