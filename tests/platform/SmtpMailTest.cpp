// Mail to a real SMTP server on 127.0.0.1: what arrives, and what a refusing
// or silent server makes of a send.
#include "SmtpMail.h"

#include "MailSink.h"

#include <QFile>
#include <QJsonArray>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

using namespace zk;

namespace {

struct TResult
{
    bool finished = false;
    bool ok = false;
    QString error;
    qint64 lastSent = 0;
    qint64 total = 0;
};

TResult SendAndWait(const TSmtpMessage &m, int timeoutMs = 20000)
{
    TSmtpSender sender;
    TResult r;
    QObject::connect(&sender, &TSmtpSender::PacketSent, [&](qint64 sent, qint64 total) {
        r.lastSent = sent;
        r.total = total;
    });
    QSignalSpy done(&sender, &TSmtpSender::Finished);
    EXPECT_TRUE(sender.Start(m)) << sender.Error().toStdString();
    EXPECT_TRUE(sender.Running());
    r.finished = done.wait(timeoutMs);
    if (r.finished) {
        r.ok = done.first().at(0).toBool();
        r.error = done.first().at(1).toString();
    }
    EXPECT_FALSE(sender.Running());
    return r;
}

TSmtpMessage BaseMessage(int port)
{
    TSmtpMessage m;
    m.Host = QStringLiteral("127.0.0.1");
    m.Port = port;
    m.From = QStringLiteral("sender@example.org");
    m.To = {QStringLiteral("one@example.org"), QStringLiteral("two@example.org")};
    m.Subject = QStringLiteral("Test");
    m.Body = QStringLiteral("Hello");
    m.StallSeconds = 5;
    return m;
}

} // namespace

TEST(SmtpMail, AddressFieldsSplitOnLinesAndSeparators)
{
    const struct
    {
        const char *text;
        QStringList want;
    } cases[] = {
        {"", {}},
        {"a@x.de", {"a@x.de"}},
        {"a@x.de\r\nb@y.de\n\n c@z.de ", {"a@x.de", "b@y.de", "c@z.de"}},
        {"a@x.de; b@y.de,c@z.de", {"a@x.de", "b@y.de", "c@z.de"}},
    };
    for (const auto &c : cases)
        EXPECT_EQ(SplitMailAddresses(QString::fromUtf8(c.text)), c.want) << c.text;
}

TEST(SmtpMail, HeaderValuesLoseLineBreaks)
{
    EXPECT_EQ(CleanHeaderValue(QStringLiteral("Hi\r\nBcc: evil@x.de")), QStringLiteral("Hi  Bcc: evil@x.de"));
    EXPECT_EQ(EncodeHeaderWord(QStringLiteral("plain")), QByteArray("plain"));
    const QByteArray word = EncodeHeaderWord(QStringLiteral("Grüße"));
    EXPECT_TRUE(word.startsWith("=?UTF-8?B?")) << word.constData();
}

TEST(SmtpMail, ServerAddressTakesThePortOfTheHostField)
{
    const struct {
        const char *field;
        const char *address;
    } rows[] = {
        {"mail.example.org", "mail.example.org:25"},
        {" 127.0.0.1:2525 ", "127.0.0.1:2525"},
        {"[::1]:587", "[::1]:587"},
        {"::1", "[::1]:25"},
        {"host:0", "host:0:25"},        // no port: the library refuses it
        {"host:70000", "host:70000:25"},
        {"host:2a", "host:2a:25"},
    };
    for (const auto &r : rows)
        EXPECT_EQ(SmtpServerAddress(QString::fromLatin1(r.field), 25), QByteArray(r.address)) << r.field;
}

TEST(SmtpMail, RefusesToStartWithoutRecipientOrMissingAttachment)
{
    TSmtpSender sender;
    TSmtpMessage m = BaseMessage(1);
    m.To.clear();
    EXPECT_FALSE(sender.Start(m));
    m = BaseMessage(1);
    m.Attachments = {QStringLiteral("/nonexistent/file.jpg")};
    EXPECT_FALSE(sender.Start(m));
    EXPECT_TRUE(sender.Error().contains(QStringLiteral("/nonexistent/file.jpg")));
    EXPECT_FALSE(sender.Running());
}

TEST(SmtpMail, MailArrivesWithHeadersEnvelopeAndAttachment)
{
    zktest::TMailSink sink;
    ASSERT_TRUE(sink.Ready());
    QTemporaryDir dir;
    QByteArray bytes;
    for (int i = 0; i < 300000; ++i)
        bytes.append(char((unsigned(i) * 7919u) >> 3));
    const QString file = dir.filePath(QStringLiteral("Attachfile_1.jpg"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();

    TSmtpMessage m = BaseMessage(sink.Port());
    m.ClientName = QStringLiteral("zelkora-host");
    m.Cc = {QStringLiteral("copy@example.org")};
    m.Bcc = {QStringLiteral("hidden@example.org")};
    m.Subject = QStringLiteral("Grüße aus Köln");
    m.Body = QStringLiteral("Guten Tag,\nhier das Bild: äöü");
    m.Attachments = {file};
    // Nothing of the mail may reach the error output.
    const QString errFile = dir.filePath(QStringLiteral("stderr.txt"));
    fflush(stderr);
    const int saved = dup(2);
    const int errFd = ::open(QFile::encodeName(errFile).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    dup2(errFd, 2);
    const TResult r = SendAndWait(m);
    fflush(stderr);
    dup2(saved, 2);
    ::close(saved);
    ::close(errFd);
    QFile err(errFile);
    ASSERT_TRUE(err.open(QIODevice::ReadOnly));
    const QByteArray errText = err.readAll();
    for (const char *secret : {"example.org", "Guten Tag", "Attachfile_1", "zelkora-host"})
        EXPECT_FALSE(errText.contains(secret)) << secret;
    ASSERT_TRUE(r.finished);
    EXPECT_TRUE(r.ok) << r.error.toStdString();
    EXPECT_GT(r.total, qint64(bytes.size()));
    EXPECT_EQ(r.lastSent, r.total);

    const auto mails = sink.Mails();
    ASSERT_EQ(mails.size(), 1);
    const QJsonObject mail = mails.first();
    EXPECT_EQ(mail["greeting"].toString(), QStringLiteral("zelkora-host"));
    EXPECT_EQ(mail["mail_from"].toString(), QStringLiteral("sender@example.org"));
    QStringList rcpt;
    for (const auto v : mail["rcpt_tos"].toArray())
        rcpt << v.toString();
    EXPECT_EQ(rcpt, (QStringList{"one@example.org", "two@example.org", "copy@example.org", "hidden@example.org"}));
    const QJsonObject h = mail["headers"].toObject();
    EXPECT_EQ(h["From"].toString(), QStringLiteral("sender@example.org"));
    EXPECT_EQ(h["To"].toString(), QStringLiteral("one@example.org, two@example.org"));
    EXPECT_EQ(h["Cc"].toString(), QStringLiteral("copy@example.org"));
    EXPECT_FALSE(h.contains(QStringLiteral("Bcc")));
    EXPECT_EQ(h["Subject"].toString(), QStringLiteral("Grüße aus Köln"));
    EXPECT_EQ(mail["body"].toString().trimmed(), m.Body);
    const QJsonArray att = mail["attachments"].toArray();
    ASSERT_EQ(att.size(), 1);
    EXPECT_EQ(att[0].toObject()["name"].toString(), QStringLiteral("Attachfile_1.jpg"));
    EXPECT_EQ(QByteArray::fromBase64(att[0].toObject()["data"].toString().toLatin1()), bytes);
}

TEST(SmtpMail, RefusedRecipientGivesTheServersLine)
{
    zktest::TMailSink sink(QStringLiteral("reject-rcpt"));
    ASSERT_TRUE(sink.Ready());
    const TResult r = SendAndWait(BaseMessage(sink.Port()));
    ASSERT_TRUE(r.finished);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, QStringLiteral("550 5.1.1 Mailbox unknown"));
    EXPECT_TRUE(sink.Mails().isEmpty());
}

TEST(SmtpMail, SilentServerTimesOut)
{
    QTcpServer silent;
    ASSERT_TRUE(silent.listen(QHostAddress::LocalHost, 0));
    TSmtpMessage m = BaseMessage(silent.serverPort());
    m.StallSeconds = 1;
    const TResult r = SendAndWait(m, 15000);
    ASSERT_TRUE(r.finished);
    EXPECT_FALSE(r.ok);
    EXPECT_TRUE(r.error.contains(QStringLiteral("imeout")) || r.error.contains(QStringLiteral("timed out")))
        << r.error.toStdString();
}

TEST(SmtpMail, NobodyListeningIsReported)
{
    const int port = zktest::freeLocalPort();
    const TResult r = SendAndWait(BaseMessage(port));
    ASSERT_TRUE(r.finished);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.isEmpty());
}

TEST(SmtpMail, UntrustedCertificateOfStartTlsStopsTheSend)
{
    QTemporaryDir dir;
    const QString cert = dir.filePath(QStringLiteral("cert.pem"));
    const QString key = dir.filePath(QStringLiteral("key.pem"));
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "1", "-subj", "/CN=127.0.0.1", "-keyout",
                   key, "-out", cert});
    if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0)
        GTEST_SKIP() << "needs openssl";
    zktest::TMailSink sink(QStringLiteral("starttls"), {cert, key});
    ASSERT_TRUE(sink.Ready());
    const TResult r = SendAndWait(BaseMessage(sink.Port()));
    ASSERT_TRUE(r.finished);
    EXPECT_FALSE(r.ok);
    EXPECT_FALSE(r.error.isEmpty());
    EXPECT_TRUE(sink.Mails().isEmpty());
}
