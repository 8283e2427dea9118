#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMimeData>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>

#include <map>

#include "Controller/Editing/imageClass.h"
#include "platform/foundation/http.h"
#include "platform/foundation/main_queue.h"
#include "platform/ui/pasteboard.h"

namespace {

// A local HTTP server with one canned answer per path; "/silent" never answers.
class cannedServer {
  public:
    cannedServer() {
        server.listen(QHostAddress::LocalHost);
        QObject::connect(&server, &QTcpServer::newConnection, [this] {
            while (auto* socket = server.nextPendingConnection()) {
                QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket] {
                    const QByteArray request = socket->readAll();
                    const QByteArray path = request.split(' ').value(1);
                    ++requests[path.toStdString()];
                    if (path == "/silent")
                        return;
                    socket->write(answers.count(path.toStdString()) ? answers[path.toStdString()]
                                                                    : status(404, ""));
                    socket->flush();
                    socket->disconnectFromHost();
                });
            }
        });
    }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(server.serverPort()) + path;
    }
    static QByteArray status(int code, const QByteArray& body, const QByteArray& extra = "") {
        return "HTTP/1.1 " + QByteArray::number(code) +
               " X\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n" +
               extra + "\r\n" + body;
    }

    QTcpServer server;
    std::map<std::string, QByteArray> answers;
    std::map<std::string, int> requests;
};

// Lets the network and the main queue run until done, for at most a few seconds of real time.
bool runUntil(const std::function<bool()>& done, int limitMs = 5000) {
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < limitMs) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        qrn::MainQueue::runPending();
    }
    return done();
}

} // namespace

TEST(ImageKinds, TheFirstByteDecides) {
    EXPECT_EQ(imageFormatOfData(QByteArray("\x89PNG", 4)), imageFormat::png);
    EXPECT_EQ(imageFormatOfData(QByteArray("\xFF\xD8\xFF", 3)), imageFormat::jpg);
    EXPECT_EQ(imageFormatOfData("GIF89a"), imageFormat::gif);
    EXPECT_EQ(imageFormatOfData("II*"), imageFormat::tiff);
    EXPECT_EQ(imageFormatOfData("MM"), imageFormat::tiff);
    EXPECT_EQ(imageFormatOfData("BM"), imageFormat::unknown);
    EXPECT_EQ(imageFormatOfData(QByteArray()), imageFormat::unknown);
    EXPECT_EQ(imageFormatFromRawValue("tiff"), imageFormat::tiff);
    EXPECT_EQ(imageFormatFromRawValue("bmp"), std::nullopt);
    EXPECT_EQ(imagePasteboardTypes(),
              (std::vector<std::string>{qrn::ui::pasteboard_type::fileURL, qrn::ui::pasteboard_type::data}));
}

TEST(ImageKinds, GenericDataCrossesTheHostAsOctetStream) {
    std::unique_ptr<QMimeData> mime(qrn::ui::mimeFromPasteboardItems(
        {qrn::ui::PasteboardItem::withData(qrn::ui::pasteboard_type::data, QByteArray("\x89PNG", 4))}));
    EXPECT_EQ(mime->data("application/octet-stream"), QByteArray("\x89PNG", 4));
    const auto items = qrn::ui::pasteboardItemsFromMime(*mime);
    ASSERT_EQ(items.size(), 1u);
    EXPECT_EQ(items[0].get(qrn::ui::pasteboard_type::data), QByteArray("\x89PNG", 4));
}

TEST(URLCheck, AFileURLPassesAtOnceEvenWhenMissing) {
    bool result = false;
    int calls = 0;
    imageClass().verifyURL("file:///no/such/picture.png", [&](bool ok) { result = ok, ++calls; });
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(result);
}

TEST(URLCheck, OnlyAFinalOKPassesAndEachCheckCompletesOnceOnTheMainThread) {
    cannedServer server;
    server.answers["/ok"] = cannedServer::status(200, "");
    server.answers["/gone"] = cannedServer::status(404, "");
    server.answers["/broken"] = cannedServer::status(500, "");
    server.answers["/moved"] = cannedServer::status(301, "", "Location: /ok\r\n");
    imageClass::setRequestTimeout(0.3);
    std::map<std::string, std::vector<bool>> results;
    bool offMain = false;
    for (const std::string path : {"/ok", "/gone", "/broken", "/moved", "/silent"})
        imageClass().verifyURL(server.url(path), [&, path](bool ok) {
            offMain = offMain || QThread::currentThread() != QCoreApplication::instance()->thread();
            results[path].push_back(ok);
        });
    EXPECT_TRUE(results.empty());
    ASSERT_TRUE(runUntil([&] { return results.size() == 5; }));
    imageClass::setRequestTimeout(60);
    EXPECT_EQ(results["/ok"], std::vector<bool>{true});
    EXPECT_EQ(results["/gone"], std::vector<bool>{false});
    EXPECT_EQ(results["/broken"], std::vector<bool>{false});
    EXPECT_EQ(results["/moved"], std::vector<bool>{true});
    EXPECT_EQ(results["/silent"], std::vector<bool>{false});
    EXPECT_FALSE(offMain);
}

TEST(Http, AGetIsCappedAndACancelledRequestNeverCompletes) {
    cannedServer server;
    server.answers["/small"] = cannedServer::status(200, "12345");
    server.answers["/large"] = cannedServer::status(200, QByteArray(5000, 'x'));
    std::optional<QByteArray> small, large;
    int done = 0, cancelled = 0;
    qrn::Http::get(server.url("/small"), 5, 100, [&](auto body) { small = body, ++done; });
    qrn::Http::get(server.url("/large"), 5, 100, [&](auto body) { large = body, ++done; });
    const auto id = qrn::Http::get(server.url("/small"), 5, 100, [&](auto) { ++cancelled; });
    qrn::Http::cancel(id);
    ASSERT_TRUE(runUntil([&] { return done == 2; }));
    EXPECT_EQ(small, QByteArray("12345"));
    EXPECT_EQ(large, std::nullopt);
    // Whatever was still on its way has had time to arrive.
    runUntil([] { return false; }, 200);
    EXPECT_EQ(done, 2);
    EXPECT_EQ(cancelled, 0);
}
