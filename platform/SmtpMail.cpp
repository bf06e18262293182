#include "SmtpMail.h"

#include "GraphicText.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <QMetaObject>
#include <QRegularExpression>
#include <QUrl>
#include <QFile>

// Only the declarations: the library itself is opened on the first send,
// so the many libraries it pulls in cost nothing at start-up.
#include <curl/curl.h>

#include <dlfcn.h>
#include <mutex>

namespace zk {

namespace {

#define ZK_CURL_FUNCTIONS(X)                                                                                \
    X(curl_global_init)                                                                                        \
    X(curl_slist_append)                                                                                       \
    X(curl_slist_free_all)                                                                                     \
    X(curl_easy_init)                                                                                          \
    X(curl_easy_setopt)                                                                                        \
    X(curl_easy_perform)                                                                                       \
    X(curl_easy_getinfo)                                                                                       \
    X(curl_easy_strerror)                                                                                      \
    X(curl_easy_cleanup)                                                                                       \
    X(curl_mime_init)                                                                                          \
    X(curl_mime_addpart)                                                                                       \
    X(curl_mime_data)                                                                                          \
    X(curl_mime_filedata)                                                                                      \
    X(curl_mime_filename)                                                                                      \
    X(curl_mime_type)                                                                                          \
    X(curl_mime_encoder)                                                                                       \
    X(curl_mime_free)

// The entry points of libcurl, resolved once from the library opened at the
// first send; the names match the library's own so the code reads as usual.
struct TCurl
{
#define ZK_CURL_MEMBER(name) decltype(&::name) name = nullptr;
    ZK_CURL_FUNCTIONS(ZK_CURL_MEMBER)
#undef ZK_CURL_MEMBER
};

constexpr const char *kCurlLibrary = "libcurl.so.4";

// The library, opened and initialised once; null with why in error when it
// is missing or lacks an entry point (the handle is then kept open: closing
// a library that may have run its constructors buys nothing).
const TCurl *Curl(QString &error)
{
    static TCurl api;
    static QString loadError;
    static std::once_flag once;
    std::call_once(once, [] {
        void *lib = dlopen(kCurlLibrary, RTLD_NOW | RTLD_LOCAL);
        if (!lib) {
            loadError = QStringLiteral("The mail library %1 could not be loaded: %2")
                            .arg(QLatin1String(kCurlLibrary), QString::fromLocal8Bit(dlerror()));
            return;
        }
        bool complete = true;
#define ZK_CURL_RESOLVE(name)                                                                                  \
    api.name = reinterpret_cast<decltype(api.name)>(dlsym(lib, #name));                                       \
    if (!api.name && complete) {                                                                               \
        complete = false;                                                                                      \
        loadError = QStringLiteral("The mail library %1 lacks %2.")                                           \
                        .arg(QLatin1String(kCurlLibrary), QLatin1String(#name));                               \
    }
        ZK_CURL_FUNCTIONS(ZK_CURL_RESOLVE)
#undef ZK_CURL_RESOLVE
        if (complete && api.curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
            complete = false;
            loadError = QStringLiteral("The mail library could not start.");
        }
        if (!complete)
            api = TCurl{};
    });
    error = loadError;
    return api.curl_easy_init ? &api : nullptr;
}

struct TSlist
{
    const TCurl &curl;
    curl_slist *list = nullptr;
    explicit TSlist(const TCurl &api) : curl(api) {}
    ~TSlist() { curl.curl_slist_free_all(list); }
    bool Append(const QByteArray &line)
    {
        curl_slist *n = curl.curl_slist_append(list, line.constData());
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

QByteArray SmtpServerAddress(const QString &hostField, int defaultPort)
{
    QString host = hostField.trimmed();
    QString port = QString::number(defaultPort);
    const auto takePort = [&port](const QString &text) {
        bool ok = false;
        const int value = text.toInt(&ok);
        if (!ok || value < 1 || value > 65535 || text.front().isSpace() || text.startsWith(QLatin1Char('+')))
            return false;
        port = QString::number(value);
        return true;
    };
    const qsizetype colons = host.count(QLatin1Char(':'));
    if (host.startsWith(QLatin1Char('['))) {
        const qsizetype close = host.indexOf(QLatin1Char(']'));
        if (close > 0 && host.mid(close + 1).startsWith(QLatin1Char(':')) && takePort(host.mid(close + 2)))
            host.truncate(close + 1);
    } else if (colons == 1) {
        const qsizetype colon = host.indexOf(QLatin1Char(':'));
        if (takePort(host.mid(colon + 1)))
            host.truncate(colon);
    } else if (colons > 1) {
        host = QLatin1Char('[') + host + QLatin1Char(']');
    }
    return host.toUtf8() + ':' + port.toLatin1();
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
        m_error = GraphicText("showmsg_smtp_busy", QStringLiteral("Es wird bereits eine Mail gesendet."));
        return false;
    }
    if (message.Host.trimmed().isEmpty()) {
        m_error = GraphicText("showmsg_smtp_no_host", QStringLiteral("Es ist kein SMTP-Server eingetragen."));
        return false;
    }
    if (message.From.trimmed().isEmpty()) {
        m_error = GraphicText("showmsg_smtp_no_sender", QStringLiteral("Es ist keine Absenderadresse eingetragen."));
        return false;
    }
    if (message.To.isEmpty() && message.Cc.isEmpty() && message.Bcc.isEmpty()) {
        m_error = GraphicText("showmsg_smtp_no_recipient", QStringLiteral("Es ist keine Empfängeradresse eingetragen."));
        return false;
    }
    for (const QString &file : message.Attachments) {
        if (!QFileInfo(file).isFile() || !QFileInfo(file).isReadable()) {
            m_error = GraphicFault("showmsg_smtp_attachment_unreadable",
                                 QStringLiteral("Der Anhang kann nicht gelesen werden"), file);
            return false;
        }
    }
    if (m_thread.joinable())
        m_thread.join();
    m_error.clear();
    m_stop = false;
    m_running = true;
    // Opened and initialised here, on this thread, before any worker runs;
    // a missing library is reported by the worker through Finished.
    QString ignored;
    Curl(ignored);
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
    const TCurl *api = Curl(error); // error names a missing library
    CURL *curl = api ? api->curl_easy_init() : nullptr;
    curl_mime *mime = nullptr;
    if (api && !curl)
        error = QStringLiteral("The mail library could not start.");
    if (curl) {
        const TCurl &c = *api;
        char errbuf[CURL_ERROR_SIZE] = {0};
        QByteArray url = "smtp://" + SmtpServerAddress(m.Host, m.Port);
        const QString client = CleanHeaderValue(m.ClientName);
        if (!client.isEmpty())
            url += "/" + QUrl::toPercentEncoding(client);
        const QByteArray from = Envelope(m.From);
        TSlist rcpt(c);
        for (const QStringList *l : {&m.To, &m.Cc, &m.Bcc})
            for (const QString &a : *l)
                rcpt.Append(Envelope(a));

        TSlist headers(c);
        headers.Append("Date: " + QDateTime::currentDateTime().toString(Qt::RFC2822Date).toLatin1());
        headers.Append("From: " + CleanHeaderValue(m.From).toUtf8());
        if (!m.To.isEmpty())
            headers.Append("To: " + HeaderList(m.To));
        if (!m.Cc.isEmpty())
            headers.Append("Cc: " + HeaderList(m.Cc));
        headers.Append("Subject: " + EncodeHeaderWord(m.Subject));

        mime = c.curl_mime_init(curl);
        curl_mimepart *text = c.curl_mime_addpart(mime);
        const QByteArray body = m.Body.toUtf8();
        c.curl_mime_data(text, body.constData(), size_t(body.size()));
        c.curl_mime_type(text, "text/plain; charset=UTF-8");
        c.curl_mime_encoder(text, "quoted-printable");
        for (const QString &file : m.Attachments) {
            curl_mimepart *part = c.curl_mime_addpart(mime);
            c.curl_mime_filedata(part, QFile::encodeName(file).constData());
            c.curl_mime_filename(part, QFileInfo(file).fileName().toUtf8().constData());
            c.curl_mime_type(part, "application/octet-stream");
            c.curl_mime_encoder(part, "base64");
        }

        c.curl_easy_setopt(curl, CURLOPT_URL, url.constData());
        c.curl_easy_setopt(curl, CURLOPT_MAIL_FROM, from.constData());
        c.curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, rcpt.list);
        c.curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.list);
        c.curl_easy_setopt(curl, CURLOPT_MIMEPOST, mime);
        c.curl_easy_setopt(curl, CURLOPT_USE_SSL, long(CURLUSESSL_TRY));
        c.curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, long(m.ConnectTimeoutSeconds));
        c.curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, long(m.StallSeconds));
        c.curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
        c.curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, long(m.StallSeconds));
        c.curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
        c.curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, errbuf);
        // Verbose only feeds the callback, which keeps the server's last line.
        c.curl_easy_setopt(curl, CURLOPT_DEBUGFUNCTION, DebugCallback);
        c.curl_easy_setopt(curl, CURLOPT_DEBUGDATA, &state);
        c.curl_easy_setopt(curl, CURLOPT_VERBOSE, 1L);
        c.curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
        c.curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &state);
        c.curl_easy_setopt(
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

        const CURLcode rc = c.curl_easy_perform(curl);
        if (rc == CURLE_OK) {
            ok = true;
            curl_off_t sent = 0;
            c.curl_easy_getinfo(curl, CURLINFO_SIZE_UPLOAD_T, &sent);
            emit PacketSent(qint64(sent), qint64(sent));
        } else if (rc == CURLE_ABORTED_BY_CALLBACK) {
            error = GraphicText("showmsg_smtp_stopped", QStringLiteral("Das Senden wurde abgebrochen."));
        } else {
            const QByteArray reply = state.lastReply;
            const bool serverSaidNo = reply.size() >= 3 && (reply[0] == '4' || reply[0] == '5');
            if (serverSaidNo)
                error = QString::fromUtf8(reply);
            else if (errbuf[0])
                error = QString::fromUtf8(errbuf);
            else
                error = QString::fromUtf8(c.curl_easy_strerror(rc));
        }
        c.curl_mime_free(mime);
        c.curl_easy_cleanup(curl);
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
