#pragma once
// A local HTTP server with one picture, for tests of pictures dropped from a web address.
#include <QByteArray>
#include <QTcpServer>
#include <QUrl>

#include <functional>

namespace qrn::test {

// A PNG of the given size in one colour.
QByteArray pngBytes(int width, int height, Qt::GlobalColor colour);

// Serves one picture at /pic (HEAD answers without a body); every other path is 404.
struct pictureServer {
    QTcpServer server;
    QByteArray picture;
    explicit pictureServer(QByteArray served = pngBytes(40, 20, Qt::red));
    QUrl url(const char* path) const;
};

// Runs Qt events and the main queue's due blocks until `done` holds or 5 s have passed.
bool runEventsAndQueueUntil(const std::function<bool()>& done);

} // namespace qrn::test
