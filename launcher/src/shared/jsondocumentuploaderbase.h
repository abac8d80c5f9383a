#pragma once

#include "jsondocumenthttppostsender.h"

#include <QJsonDocument>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

namespace shared {

// Base of uploaders that post a JSON document and read the server's JSON answer
// {"errorCode": n, "errorMessage": "..."}: errorCode 0 or missing means accepted.
// It takes every answer its sender reports, so a sender serves one uploader.
class TJsonDocumentUploaderBase : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY(TJsonDocumentUploaderBase)

public:
    explicit TJsonDocumentUploaderBase(std::shared_ptr<TJsonDocumentHttpPostSender> pSender);
    ~TJsonDocumentUploaderBase() override;

    // Hands the document to the sender; the answer arrives as finished().
    virtual void upload(const QUrl& oUrl, const QJsonDocument& oDocument);

    // Of the last answer: the reason it failed (empty after a success), and the
    // server's errorCode, -100 for an answer that is not JSON, or 0 otherwise.
    const QString& lastErrorMessage() const { return m_sLastErrorMessage; }
    int lastErrorCode() const { return m_nLastErrorCode; }

public slots:
    void onFinished(QNetworkReply::NetworkError NetworkErrorCode, QString NetworkErrorString, QByteArray ReplyFromServer);

signals:
    // ReplyFromServer is the parsed answer, empty when there was none or it was not JSON.
    void finished(bool UploadSuccessful, QJsonDocument ReplyFromServer);

private:
    std::shared_ptr<TJsonDocumentHttpPostSender> m_pSender;
    QString m_sLastErrorMessage;
    int m_nLastErrorCode = 0;
};

} // namespace shared
