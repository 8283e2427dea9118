#include "platform/foundation/http.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>
#include <QUrl>

#include <map>
#include <memory>

#include "platform/foundation/main_queue.h"

namespace qrn {

namespace {

QNetworkAccessManager& manager() {
    static auto* shared = new QNetworkAccessManager;
    return *shared;
}

std::map<Http::RequestId, QPointer<QNetworkReply>>& running() {
    static std::map<Http::RequestId, QPointer<QNetworkReply>> replies;
    return replies;
}

Http::RequestId nextId = 0;

QNetworkRequest requestFor(const std::string& url, double timeoutSeconds) {
    QNetworkRequest request(QUrl(QString::fromStdString(url)));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(int(timeoutSeconds * 1000));
    return request;
}

bool finalOK(QNetworkReply& reply) {
    return reply.error() == QNetworkReply::NoError &&
           reply.attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200;
}

// Runs the completion once on the main queue, unless the request was cancelled.
template <typename Result>
void finish(Http::RequestId id, const std::shared_ptr<std::function<void(Result)>>& done, Result result) {
    if (!running().count(id))
        return;
    running().erase(id);
    MainQueue::post([done, result = std::move(result)] { (*done)(result); });
}

} // namespace

Http::RequestId Http::head(const std::string& url, double timeoutSeconds, std::function<void(bool)> done) {
    const RequestId id = ++nextId;
    auto completion = std::make_shared<std::function<void(bool)>>(std::move(done));
    QNetworkReply* reply = manager().head(requestFor(url, timeoutSeconds));
    running()[id] = reply;
    QObject::connect(reply, &QNetworkReply::finished, reply, [id, completion, reply] {
        finish<bool>(id, completion, finalOK(*reply));
        reply->deleteLater();
    });
    return id;
}

Http::RequestId Http::get(const std::string& url, double timeoutSeconds, std::int64_t maxBytes,
                          std::function<void(std::optional<QByteArray>)> done) {
    const RequestId id = ++nextId;
    auto completion = std::make_shared<std::function<void(std::optional<QByteArray>)>>(std::move(done));
    QNetworkReply* reply = manager().get(requestFor(url, timeoutSeconds));
    running()[id] = reply;
    auto body = std::make_shared<QByteArray>();
    QObject::connect(reply, &QNetworkReply::readyRead, reply, [id, completion, reply, body, maxBytes] {
        body->append(reply->readAll());
        if (body->size() > maxBytes) {
            finish<std::optional<QByteArray>>(id, completion, std::nullopt);
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, reply, [id, completion, reply, body, maxBytes] {
        body->append(reply->readAll());
        const bool ok = finalOK(*reply) && body->size() <= maxBytes;
        finish<std::optional<QByteArray>>(id, completion,
                                          ok ? std::optional<QByteArray>(*body) : std::nullopt);
        reply->deleteLater();
    });
    return id;
}

void Http::cancel(RequestId id) {
    auto it = running().find(id);
    if (it == running().end())
        return;
    QPointer<QNetworkReply> reply = it->second;
    running().erase(it);
    if (reply)
        reply->abort();
}

} // namespace qrn
