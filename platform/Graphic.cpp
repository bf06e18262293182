#include "Graphic.h"
#include "SafeFile.h"

#include "Bitmap.h"
#include "GraphicText.h"

#include <QBuffer>
#include <QClipboard>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>
#include <QMutex>

namespace zk {

EGraphicError::EGraphicError(const QString &message) : std::runtime_error(message.toStdString())
{
}

QString EGraphicError::message() const
{
    return QString::fromUtf8(what());
}

EFormatNotAvailable::EFormatNotAvailable(const QString &ext)
    : EGraphicError(QStringLiteral("Das Format %1 steht noch nicht zur Verfügung; es wurde nichts gespeichert.")
                        .arg(ext))
    , m_ext(ext)
{
}

// ---------------------------------------------------------------- TGraphic

TGraphic::~TGraphic() = default;

void TGraphic::SetWidth(int)
{
    throw EInvalidGraphicOperation(QStringLiteral("The size of a %1 cannot be changed").arg(ClassName()));
}

void TGraphic::SetHeight(int)
{
    throw EInvalidGraphicOperation(QStringLiteral("The size of a %1 cannot be changed").arg(ClassName()));
}

void TGraphic::SetTransparent(bool on)
{
    if (on != m_transparent) {
        m_transparent = on;
        Changed();
    }
}

void TGraphic::LoadFromFile(const QString &fileName)
{
    QFile f;
    QString error;
    if (!OpenRegularFile(f, fileName, &error))
        throw EGraphicFileError(GraphicCannotOpen(fileName, error));
    LoadFromStream(f);
}

void TGraphic::SaveToFile(const QString &fileName)
{
    TSafeFile f(fileName);
    if (!f.open(QIODevice::WriteOnly))
        throw EGraphicFileError(QStringLiteral("Cannot write \"%1\": %2").arg(fileName, f.errorString()));
    SaveToStream(f); // on an exception TSafeFile discards the temporary file
    if (!f.commit())
        throw EGraphicFileError(QStringLiteral("Cannot write \"%1\": %2").arg(fileName, f.errorString()));
}

void TGraphic::LoadFromBytes(const QByteArray &data)
{
    QBuffer buf;
    buf.setData(data);
    buf.open(QIODevice::ReadOnly);
    LoadFromStream(buf);
}

QByteArray TGraphic::SaveToBytes()
{
    QByteArray out;
    QBuffer buf(&out);
    buf.open(QIODevice::WriteOnly);
    SaveToStream(buf);
    buf.close();
    return out;
}

void TGraphic::Assign(const TGraphic &source)
{
    if (&source == this)
        return;
    if (!source.AssignTo(*this))
        throw EInvalidGraphicOperation(
            QStringLiteral("Cannot assign a %1 to a %2").arg(source.ClassName(), ClassName()));
}

bool TGraphic::AssignTo(TGraphic &) const
{
    return false;
}

// ---------------------------------------------------------------- registry

namespace {

struct ClipFormat
{
    QString mimeType;
    QString className;
    TGraphicFactory create;
};

struct Registry
{
    QMutex lock;
    QList<TFileFormat> files;
    QList<ClipFormat> clips;

    Registry()
    {
        files.append({QStringLiteral("bmp"), QStringLiteral("Windows Bitmap"), QStringLiteral("TBitmap"),
                      [] { return std::unique_ptr<TGraphic>(new TBitmap()); }});
    }
};

Registry &registry()
{
    static Registry r;
    return r;
}

QString normalExt(const QString &ext)
{
    QString e = ext.trimmed().toLower();
    if (e.startsWith(QLatin1Char('.')))
        e.remove(0, 1);
    return e;
}

} // namespace

void TPicture::RegisterFileFormat(const QString &extension, const QString &description,
                                  const QString &className, TGraphicFactory create)
{
    Registry &r = registry();
    QMutexLocker l(&r.lock);
    const QString ext = normalExt(extension);
    for (qsizetype i = r.files.size() - 1; i >= 0; --i)
        if (r.files[i].extension == ext)
            r.files.removeAt(i);
    r.files.append({ext, description, className, std::move(create)});
}

void TPicture::RegisterClipboardFormat(const QString &mimeType, const QString &className,
                                       TGraphicFactory create)
{
    Registry &r = registry();
    QMutexLocker l(&r.lock);
    for (qsizetype i = r.clips.size() - 1; i >= 0; --i)
        if (r.clips[i].mimeType == mimeType)
            r.clips.removeAt(i);
    r.clips.append({mimeType, className, std::move(create)});
}

void TPicture::UnregisterGraphicClass(const QString &className)
{
    Registry &r = registry();
    QMutexLocker l(&r.lock);
    r.files.removeIf([&](const TFileFormat &f) { return f.className == className; });
    r.clips.removeIf([&](const ClipFormat &f) { return f.className == className; });
}

const TFileFormat *TPicture::FindFileFormat(const QString &extension)
{
    Registry &r = registry();
    QMutexLocker l(&r.lock);
    const QString ext = normalExt(extension);
    for (const TFileFormat &f : r.files)
        if (f.extension == ext)
            return &f;
    return nullptr;
}

QList<TFileFormat> TPicture::FileFormats()
{
    Registry &r = registry();
    QMutexLocker l(&r.lock);
    return r.files;
}

std::unique_ptr<TGraphic> TPicture::CreateForExtension(const QString &extension)
{
    TGraphicFactory create;
    {
        Registry &r = registry();
        QMutexLocker l(&r.lock);
        const QString ext = normalExt(extension);
        for (const TFileFormat &f : r.files)
            if (f.extension == ext)
                create = f.create;
    }
    if (!create)
        throw EInvalidGraphic(QStringLiteral("Unknown picture file extension (.%1)").arg(normalExt(extension)));
    return create();
}

QString TPicture::GraphicFilter()
{
    QStringList parts;
    for (const TFileFormat &f : FileFormats())
        parts << QStringLiteral("%1 (*.%2)").arg(f.description, f.extension);
    return parts.join(QStringLiteral(";;"));
}

// ---------------------------------------------------------------- TPicture

TPicture::TPicture() = default;
TPicture::~TPicture() = default;

void TPicture::SetGraphic(std::unique_ptr<TGraphic> graphic)
{
    m_graphic = std::move(graphic);
}

TBitmap &TPicture::Bitmap()
{
    if (!dynamic_cast<TBitmap *>(m_graphic.get()))
        m_graphic = std::make_unique<TBitmap>();
    return *static_cast<TBitmap *>(m_graphic.get());
}

int TPicture::Width() const
{
    return m_graphic ? m_graphic->Width() : 0;
}

int TPicture::Height() const
{
    return m_graphic ? m_graphic->Height() : 0;
}

bool TPicture::Empty() const
{
    return !m_graphic || m_graphic->Empty();
}

void TPicture::Assign(const TGraphic *source)
{
    if (source == m_graphic.get())
        return;
    m_graphic = source ? source->Clone() : nullptr;
}

void TPicture::Assign(const TPicture &source)
{
    if (&source != this)
        Assign(source.Graphic());
}

void TPicture::LoadFromFile(const QString &fileName)
{
    std::unique_ptr<TGraphic> g = CreateForExtension(QFileInfo(fileName).suffix());
    g->LoadFromFile(fileName);
    m_graphic = std::move(g);
}

void TPicture::SaveToFile(const QString &fileName)
{
    if (!m_graphic)
        throw EInvalidGraphicOperation(QStringLiteral("There is no picture to save"));
    m_graphic->SaveToFile(fileName);
}

void TPicture::LoadFromStream(QIODevice &stream, const QString &extension)
{
    std::unique_ptr<TGraphic> g = CreateForExtension(extension);
    g->LoadFromStream(stream);
    m_graphic = std::move(g);
}

void TPicture::SaveToClipboard() const
{
    if (!m_graphic || m_graphic->Empty())
        throw EInvalidGraphicOperation(QStringLiteral("There is no picture to copy"));
    auto *mime = new QMimeData;
    mime->setImageData(m_graphic->ToImage());
    {
        Registry &r = registry();
        QMutexLocker l(&r.lock);
        const QString cls = m_graphic->ClassName();
        for (const ClipFormat &c : r.clips) {
            if (c.className == cls) {
                // Saving does not change a picture in a way the user can see;
                // the registry only hands out const access.
                std::unique_ptr<TGraphic> copy = m_graphic->Clone();
                mime->setData(c.mimeType, copy->SaveToBytes());
                break;
            }
        }
    }
    QGuiApplication::clipboard()->setMimeData(mime);
}

bool TPicture::ClipboardHasPicture()
{
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    if (!mime)
        return false;
    if (mime->hasImage())
        return true;
    Registry &r = registry();
    QMutexLocker l(&r.lock);
    for (const ClipFormat &c : r.clips)
        if (mime->hasFormat(c.mimeType))
            return true;
    return false;
}

void TPicture::LoadFromClipboard()
{
    const QMimeData *mime = QGuiApplication::clipboard()->mimeData();
    if (mime) {
        QList<ClipFormat> clips;
        {
            Registry &r = registry();
            QMutexLocker l(&r.lock);
            clips = r.clips;
        }
        for (const ClipFormat &c : clips) {
            if (mime->hasFormat(c.mimeType)) {
                std::unique_ptr<TGraphic> g = c.create();
                g->LoadFromBytes(mime->data(c.mimeType));
                m_graphic = std::move(g);
                return;
            }
        }
        if (mime->hasImage()) {
            const QImage img = qvariant_cast<QImage>(mime->imageData());
            if (!img.isNull()) {
                auto b = std::make_unique<TBitmap>();
                b->Assign(img);
                m_graphic = std::move(b);
                return;
            }
        }
    }
    throw EInvalidGraphic(QStringLiteral("The clipboard holds no picture"));
}

} // namespace zk
