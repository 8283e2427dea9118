#include "support/picture_server.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QTcpSocket>

#include "platform/foundation/main_queue.h"

namespace qrn::test {

QByteArray pngBytes(int width, int height, Qt::GlobalColor colour) {
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

pictureServer::pictureServer(QByteArray served) : picture(std::move(served)) {
    server.listen(QHostAddress::LocalHost);
    QObject::connect(&server, &QTcpServer::newConnection, [this] {
        while (auto* socket = server.nextPendingConnection())
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                const QByteArray request = socket->readAll();
                const bool found = request.split(' ').value(1) == "/pic";
                const QByteArray body = found && !request.startsWith("HEAD") ? picture : QByteArray();
                socket->write("HTTP/1.1 " + QByteArray(found ? "200 OK" : "404 No") +
                              "\r\nContent-Length: " + QByteArray::number(found ? picture.size() : 0) +
                              "\r\nConnection: close\r\n\r\n" + body);
                socket->flush();
                socket->disconnectFromHost();
            });
    });
}

QUrl pictureServer::url(const char* path) const {
    return QUrl("http://127.0.0.1:" + QString::number(server.serverPort()) + path);
}

bool runEventsAndQueueUntil(const std::function<bool()>& done) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < 5000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        MainQueue::runPending();
    }
    return done();
}

} // namespace qrn::test
