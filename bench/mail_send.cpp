// Sending, beside plain peers in the same run:
// 1. A 10 MB attachment through the main window's SMTP route (libcurl on its
//    worker thread, progress into the progress window) to a local aiosmtpd
//    sink (tests/tools/smtp_sink.py under /usr/bin/python3), beside
//    "curl --upload-file" of the very message our route sent, to the same
//    sink. Goal: at most 1.2 x curl's time. Meanwhile a 10 ms timer records
//    the longest gap between its turns; goal: at most 5 x that timer's
//    longest gap in an idle loop of the same length.
// 2. The JPEG attachment of the real 1920 x 1080 desktop capture beside the
//    picture core's plain JPEG write of it to a file. Goal: at most 1.1 x.
#include "BenchKit.h"
#include "ImageControl.h"
#include "Jpeg.h"
#include "MainForm.h"
#include "ProgramDir.h"
#include "SmtpMail.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

// The sink in its "raw" mode: keeps the last message's bytes in a file.
class Sink
{
public:
    explicit Sink(const QString &out)
    {
        QTcpServer probe;
        probe.listen(QHostAddress::LocalHost, 0);
        port = probe.serverPort();
        probe.close();
        process.start(QStringLiteral("/usr/bin/python3"),
                      {QStringLiteral(ZK_SOURCE_DIR "/tests/tools/smtp_sink.py"), QString::number(port), out,
                       QStringLiteral("raw")});
        process.waitForStarted(10000);
        while (process.state() == QProcess::Running && !process.canReadLine())
            process.waitForReadyRead(10000);
        ready = process.readLine().trimmed() == "ready";
    }
    ~Sink()
    {
        process.closeWriteChannel();
        if (!process.waitForFinished(5000))
            process.kill();
        process.waitForFinished(5000);
    }
    QProcess process;
    int port = 0;
    bool ready = false;
};

// Longest gap between the turns of a 10 ms timer while `until` is false.
struct GapMeter
{
    QTimer timer;
    QElapsedTimer clock;
    qint64 last = 0, longest = 0;
    GapMeter()
    {
        timer.setInterval(10);
        timer.setTimerType(Qt::PreciseTimer);
        QObject::connect(&timer, &QTimer::timeout, [this] {
            const qint64 now = clock.nsecsElapsed();
            longest = std::max(longest, now - last);
            last = now;
        });
    }
    void Start()
    {
        longest = 0;
        clock.start();
        last = 0;
        timer.start();
    }
    double StopMs()
    {
        timer.stop();
        return double(longest) / 1e6;
    }
};

} // namespace

int main(int argc, char **argv)
{
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QTemporaryDir home;
    setenv("XDG_CONFIG_HOME", home.path().toLocal8Bit().constData(), 1);
    setenv("XDG_RUNTIME_DIR", home.path().toLocal8Bit().constData(), 1);
    zk::SetProgramDirOverride(home.path());
    QApplication app(argc, argv);

    const QString raw = home.filePath(QStringLiteral("last.eml"));
    Sink sink(raw);
    if (!sink.ready) {
        std::fprintf(stderr, "the SMTP sink did not start (python3-aiosmtpd)\n");
        return 2;
    }
    if (QStandardPaths::findExecutable(QStringLiteral("curl")).isEmpty()) {
        std::fprintf(stderr, "curl missing\n");
        return 2;
    }
    const QString big = home.filePath(QStringLiteral("attachment.bin"));
    {
        std::vector<quint32> words(10 * 1024 * 1024 / 4);
        QRandomGenerator(7).fillRange(words.data(), qsizetype(words.size()));
        QFile f(big);
        f.open(QIODevice::WriteOnly);
        f.write(reinterpret_cast<const char *>(words.data()), qint64(words.size() * 4));
    }

    zk::TMainForm form;
    form.Options.EndDlg = false;
    form.Options.SysKeys = false;
    form.SmtpPort = sink.port;
    form.Options.Smtp.Host = QStringLiteral("127.0.0.1");
    form.Options.Smtp.MailFrom = QStringLiteral("me@example.org");
    form.Options.Smtp.MailTo = QStringLiteral("you@example.org");
    form.Options.Smtp.Subject = QStringLiteral("Bildschirmfoto");
    form.Options.Smtp.Body = QStringLiteral("Guten Tag,");
    // The route's result box is answered at once.
    QTimer answer;
    answer.setInterval(5);
    QObject::connect(&answer, &QTimer::timeout, [] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget()))
            box->accept();
    });
    answer.start();

    GapMeter meter;
    std::vector<double> busyGaps;
    bool failed = false;
    const auto ours = [&] {
        zk::TSmtpMessage m = form.PrepareSmtpSend();
        m.Attachments = {big};
        QEventLoop loop;
        const auto done = QObject::connect(form.ZKMailNMSMTP.get(), &zk::TSmtpSender::Finished,
                                           [&](bool ok, const QString &) {
                                               failed = failed || !ok;
                                               loop.quit();
                                           });
        meter.Start();
        if (form.ZKMailNMSMTP->Start(m))
            loop.exec();
        else
            failed = true;
        busyGaps.push_back(meter.StopMs());
        QObject::disconnect(done);
    };
    // One send of ours first: the message curl uploads is the one we sent.
    ours();
    if (failed || !QFile::exists(raw)) {
        std::fprintf(stderr, "our send failed\n");
        return 3;
    }
    const QString message = home.filePath(QStringLiteral("message.eml"));
    QFile::copy(raw, message);
    const QStringList curlArgs{QStringLiteral("-s"),
                               QStringLiteral("--url"),
                               QStringLiteral("smtp://127.0.0.1:%1").arg(sink.port),
                               QStringLiteral("--mail-from"),
                               QStringLiteral("me@example.org"),
                               QStringLiteral("--mail-rcpt"),
                               QStringLiteral("you@example.org"),
                               QStringLiteral("--upload-file"),
                               message};
    const auto peer = [&] {
        if (QProcess::execute(QStringLiteral("curl"), curlArgs) != 0)
            failed = true;
    };
    busyGaps.clear();
    const zkbench::Result send = zkbench::Turns(ours, peer, zkbench::Rounds(5));
    if (failed) {
        std::fprintf(stderr, "a send failed\n");
        return 3;
    }
    zkbench::Print("10 MB attachment by SMTP vs curl --upload-file", send, 1.2);

    // The idle loop, as long as one of our sends.
    meter.Start();
    QEventLoop idle;
    QTimer::singleShot(int(send.ours), &idle, &QEventLoop::quit);
    idle.exec();
    const double idleGap = meter.StopMs();
    const double busyGap = *std::max_element(busyGaps.begin(), busyGaps.end());
    std::printf("%-44s send %9.3f ms  idle %9.3f ms  ratio %5.2f  (goal <= 5.00) %s\n",
                "longest 10 ms timer gap while sending", busyGap, idleGap, busyGap / idleGap,
                busyGap <= 5 * idleGap ? "ok" : "MISSED");

    // The JPEG attachment of the desktop capture.
    const zk::TBitmap desktop = zkbench::Desktop();
    form.ScanImage->Picture().Bitmap().Assign(desktop);
    form.ScanImage->PictureChanged();
    form.Options.AttachType = 1;
    form.Options.AttachDir = false;
    const QString plain = home.filePath(QStringLiteral("plain.jpg"));
    const zkbench::Result jpeg = zkbench::Turns(
        [&] {
            if (form.MakeAttachFile().isEmpty())
                failed = true;
        },
        [&] {
            zk::TJPEGImage j;
            j.Assign(desktop);
            j.SaveToFile(plain);
        },
        zkbench::Rounds(15));
    if (failed) {
        std::fprintf(stderr, "the attachment was not written\n");
        return 3;
    }
    zkbench::Print("JPEG attachment 1920x1080 vs plain JPEG write", jpeg, 1.1);
    std::printf("  sizes: attachment %lld, plain %lld bytes\n",
                (long long)QFileInfo(zk::ProgramDir() + QStringLiteral("Attachfile.jpg")).size(),
                (long long)QFileInfo(plain).size());
    return 0;
}
