#include "SmtpMail.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <QMetaObject>
#include <QRegularExpression>
#include <QUrl>
#include <QFile>

#include <curl/curl.h>

#include <mutex>

namespace zk {

namespace {

void GlobalInitOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct TSlist
{
    curl_slist *list = nullptr;
    ~TSlist() { curl_slist_free_all(list); }
    bool Append(const QByteArray &line)
    {
        curl_slist *n = curl_slist_append(list, line.constData());
        if (!n)
            return false;
        list = n;
        return true;
    }
};

struct TTransferState
{
    TSmtpSender *sender = nullptr;
    std::atomic<bool> *stop = nullptr;
    QByteArray lastReply;
    qint64 lastSent = 0;
    qint64 fallbackTotal = 0;
};

// Keeps the last refusal (4xx or 5xx) the server sent: the goodbye after it
// would hide the reason. Nothing is printed anywhere.
int DebugCallback(CURL *, curl_infotype type, char *data, size_t size, void *user)
{
    if (type != CURLINFO_HEADER_IN)
        return 0;
    auto *state = static_cast<TTransferState *>(user);
    QByteArray line(data, qsizetype(size));
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    if (line.size() >= 3 && (line[0] == '4' || line[0] == '5'))
        state->lastReply = line;
    return 0;
}

QString MailAddressOnly(const QString &entry)
{
    // "Name <a@b>" gives a@b for the envelope.
    const int open = entry.lastIndexOf(QLatin1Char('<'));
    const int close = entry.lastIndexOf(QLatin1Char('>'));
    if (open >= 0 && close > open)
        return entry.mid(open + 1, close - open - 1).trimmed();
    return entry.trimmed();
}

QByteArray Envelope(const QString &address)
{
    return "<" + CleanHeaderValue(MailAddressOnly(address)).toUtf8() + ">";
}

QByteArray HeaderList(const QStringList &addresses)
{
    QStringList clean;
    for (const QString &a : addresses)
        clean << CleanHeaderValue(a);
    return clean.join(QStringLiteral(", ")).toUtf8();
}

} // namespace

QStringList SplitMailAddresses(const QString &text)
{
    QStringList out;
    static const QRegularExpression separators(QStringLiteral("[\\r\\n,;]+"));
    for (const QString &part : text.split(separators, Qt::SkipEmptyParts)) {
        const QString t = part.trimmed();
        if (!t.isEmpty())
            out << t;
    }
    return out;
}

QString CleanHeaderValue(const QString &value)
{
    QString out = value;
    for (QChar &c : out)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QLatin1Char(' ');
    return out.trimmed();
}

QByteArray EncodeHeaderWord(const QString &value)
{
    const QString clean = CleanHeaderValue(value);
    bool ascii = true;
    for (QChar c : clean)
        if (c.unicode() > 0x7E)
            ascii = false;
    if (ascii)
        return clean.toLatin1();
    // Encoded words of at most 75 characters, never splitting a character.
    QByteArray out;
    QByteArray chunk;
    const auto flush = [&] {
        if (chunk.isEmpty())
            return;
        if (!out.isEmpty())
            out += "\r\n ";
        out += "=?UTF-8?B?" + chunk.toBase64() + "?=";
        chunk.clear();
    };
    for (int i = 0; i < clean.size(); ++i) {
        QString one(clean[i]);
        if (clean[i].isHighSurrogate() && i + 1 < clean.size())
            one += clean[++i];
        const QByteArray bytes = one.toUtf8();
        if ((chunk.size() + bytes.size() + 2) / 3 * 4 > 60)
            flush();
        chunk += bytes;
    }
    flush();
    return out;
}

TSmtpSender::TSmtpSender(QObject *parent) : QObject(parent) {}

TSmtpSender::~TSmtpSender()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
}

bool TSmtpSender::Start(const TSmtpMessage &message)
{
    if (m_running) {
        m_error = QStringLiteral("A mail is being sent already.");
        return false;
    }
    if (message.Host.trimmed().isEmpty()) {
        m_error = QStringLiteral("No SMTP server is set.");
        return false;
    }
    if (message.From.trimmed().isEmpty()) {
        m_error = QStringLiteral("No sender address is set.");
        return false;
    }
    if (message.To.isEmpty() && message.Cc.isEmpty() && message.Bcc.isEmpty()) {
        m_error = QStringLiteral("No recipient address is set.");
        return false;
    }
    for (const QString &file : message.Attachments) {
        if (!QFileInfo(file).isFile() || !QFileInfo(file).isReadable()) {
            m_error = QStringLiteral("The attachment cannot be read: ") + file;
            return false;
        }
    }
    if (m_thread.joinable())
        m_thread.join();
    m_error.clear();
    m_stop = false;
    m_running = true;
    GlobalInitOnce();
    m_thread = std::thread([this, message] { Run(message); });
    return true;
}

void TSmtpSender::Run(TSmtpMessage m)
{
    TTransferState state;
    state.sender = this;
    state.stop = &m_stop;
    // The library does not know the size of a mail it encodes on the fly:
    // base64 with line breaks, the text at most tripled, room for headers.
    state.fallbackTotal = 2048 + qint64(m.Body.toUtf8().size()) * 3;
    for (const QString &file : m.Attachments)
        state.fallbackTotal += (QFileInfo(file).size() + 2) / 3 * 4 * 78 / 76 + 512;

    QString error;
    bool ok = false;
    CURL *curl = curl_easy_init();
    curl_mime *mime = nullptr;
    if (!curl) {
        error = QStringLiteral("The mail library could not start.");
    } else {
        char errbuf[CURL_ERROR_SIZE] = {0};
        QByteArray url = "smtp://" + m.Host.trimmed().toUtf8() + ":" + QByteArray::number(m.Port);
        const QString client = CleanHeaderValue(m.ClientName);
        if (!client.isEmpty())
            url += "/" + QUrl::toPercentEncoding(client);
        const QByteArray from = Envelope(m.From);
        TSlist rcpt;
        for (const QStringList *l : {&m.To, &m.Cc, &m.Bcc})
            for (const QString &a : *l)
                rcpt.Append(Envelope(a));

        TSlist headers;
        headers.Append("Date: " + QDateTime::currentDateTime().toString(Qt::RFC2822Date).toLatin1());
        headers.Append("From: " + CleanHeaderValue(m.From).toUtf8());
        if (!m.To.isEmpty())
            headers.Append("To: " + HeaderList(m.To));
        if (!m.Cc.isEmpty())
            headers.Append("Cc: " + HeaderList(m.Cc));
        headers.Append("Subject: " + EncodeHeaderWord(m.Subject));

        mime = curl_mime_init(curl);
        curl_mimepart *text = curl_mime_addpart(mime);
        const QByteArray body = m.Body.toUtf8();
        curl_mime_data(text, body.constData(), size_t(body.size()));
        curl_mime_type(text, "text/plain; charset=UTF-8");
        curl_mime_encoder(text, "quoted-printable");
        for (const QString &file : m.Attachments) {
            curl_mimepart *part = curl_mime_addpart(mime);
            curl_mime_filedata(part, QFile::encodeName(file).constData());
            curl_mime_filename(part, QFileInfo(file).fileName().toUtf8().constData());
            curl_mime_type(part, "application/octet-stream");
            curl_mime_encoder(part, "base64");
        }

        curl_easy_setopt(curl, CURLOPT_URL, url.constData());
        curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.constData());
        curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, rcpt.list);
        curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.list);
        curl_easy_setopt(curl, CURLOPT_MIMEPOST, mime);
        curl_easy_setopt(curl, CURLOPT_USE_SSL, long(CURLUSESSL_TRY));
        curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, long(m.ConnectTimeoutSeconds));
        curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(m.StallSeconds));
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, long(m.StallSeconds));
        curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errbuf);
        // Verbose only feeds the callback, which keeps the server's last line.
        curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, DebugCallback);
        curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &state);
        curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
        curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &state);
        curl_easy_setopt(
            curl, CURLOPT_XFERINFOFUNCTION,
            +[](void *user, curl_off_t, curl_off_t, curl_off_t ultotal, curl_off_t ulnow) -> int {
                auto *s = static_cast<TTransferState *>(user);
                if (s->stop->load())
                    return 1;
                const qint64 total = qMax(ultotal > 0 ? qint64(ultotal) : s->fallbackTotal, qint64(ulnow) + 1);
                // A signal per 64 KiB is enough for a bar; the end is sent
                // once the server took the mail.
                if (ulnow - s->lastSent >= 65536) {
                    s->lastSent = ulnow;
                    emit s->sender->PacketSent(qint64(ulnow), total);
                }
                return 0;
            });

        const CURLcode rc = curl_easy_perform(curl);
        if (rc == CURLE_OK) {
            ok = true;
            curl_off_t sent = 0;
            curl_easy_getinfo(curl, CURLINFO_SIZE_UPLOAD_T, &sent);
            emit PacketSent(qint64(sent), qint64(sent));
        } else if (rc == CURLE_ABORTED_BY_CALLBACK) {
            error = QStringLiteral("Sending was stopped.");
        } else {
            const QByteArray reply = state.lastReply;
            const bool serverSaidNo = reply.size() >= 3 && (reply[0] == '4' || reply[0] == '5');
            if (serverSaidNo)
                error = QString::fromUtf8(reply);
            else if (errbuf[0])
                error = QString::fromUtf8(errbuf);
            else
                error = QString::fromUtf8(curl_easy_strerror(rc));
        }
        curl_mime_free(mime);
        curl_easy_cleanup(curl);
    }
    QMetaObject::invokeMethod(
        this,
        [this, ok, error] {
            if (m_thread.joinable())
                m_thread.join();
            m_running = false;
            m_error = error;
            emit Finished(ok, error);
        },
        Qt::QueuedConnection);
}

} // namespace zk
