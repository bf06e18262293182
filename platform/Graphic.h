#pragma once
// The picture classes' common base (TGraphic), the errors they raise, and
// TPicture: a holder of one graphic plus the registry that maps file
// extensions (compared without case) and clipboard MIME types onto graphic
// classes.
//
// Registration: the registry registers TBitmap for "bmp" itself, the first
// time it is used. Every other graphic class is registered by a function of
// its own codec (Register...Graphics()) that start-up calls; a static
// initialiser inside a static library would be dropped by the linker, so
// nobody relies on one.
#include <QByteArray>
#include <QList>
#include <QRect>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <stdexcept>

class QIODevice;
class QImage;
class QPainter;

namespace zk {

class TBitmap;

// Base of every error a picture class raises. message() is the text for the
// user; what() gives the same text in UTF-8.
class EGraphicError : public std::runtime_error
{
public:
    explicit EGraphicError(const QString &message);
    QString message() const;
};

// A file or stream that is damaged, truncated, of an unsupported variant, or
// larger than the pixel limit. The target object is unchanged.
class EInvalidGraphic : public EGraphicError
{
public:
    using EGraphicError::EGraphicError;
};

// A request the object cannot carry out: a scan line index out of range, an
// unknown pixel format, an assignment between unrelated classes, a palette
// too long for the pixel format.
class EInvalidGraphicOperation : public EGraphicError
{
public:
    using EGraphicError::EGraphicError;
};

// A file that cannot be opened, read or written (the message names it and
// gives the system's reason).
class EGraphicFileError : public EGraphicError
{
public:
    using EGraphicError::EGraphicError;
};

// A format whose codec is not in the program (yet): nothing was written.
class EFormatNotAvailable : public EGraphicError
{
public:
    explicit EFormatNotAvailable(const QString &ext);
    QString Ext() const { return m_ext; }

private:
    QString m_ext;
};

class TGraphic
{
public:
    TGraphic() = default;
    TGraphic(const TGraphic &) = default;
    TGraphic &operator=(const TGraphic &) = default;
    virtual ~TGraphic();

    // The class's name as the picture classes are called ("TBitmap").
    virtual QString ClassName() const = 0;
    // A new object of the same class holding a copy of this one. Every
    // concrete class overrides it, including classes derived from TBitmap.
    virtual std::unique_ptr<TGraphic> Clone() const = 0;

    virtual bool Empty() const = 0;
    virtual int Width() const = 0;
    virtual int Height() const = 0;
    virtual void SetWidth(int w);  // default: EInvalidGraphicOperation
    virtual void SetHeight(int h); // default: EInvalidGraphicOperation

    virtual bool Transparent() const { return m_transparent; }
    virtual void SetTransparent(bool on);

    // Reads one picture from the current position of the device, leaving the
    // position after it. On any failure the object keeps its old contents.
    virtual void LoadFromStream(QIODevice &stream) = 0;
    // Writes the picture at the current position of the device.
    virtual void SaveToStream(QIODevice &stream) = 0;

    // Whole files. Saving goes to a temporary name in the same folder that is
    // renamed over the target only when everything was written, so a failed
    // save leaves the old file as it was.
    void LoadFromFile(const QString &fileName);
    void SaveToFile(const QString &fileName);
    // Memory helpers over the stream functions.
    void LoadFromBytes(const QByteArray &data);
    QByteArray SaveToBytes();

    // Takes the contents of another graphic. The default asks the source
    // (AssignTo) and raises EInvalidGraphicOperation ("Cannot assign a
    // TIcon to a TJPEGImage") when it declines.
    virtual void Assign(const TGraphic &source);
    // Puts this graphic's contents into dest; false when it cannot.
    virtual bool AssignTo(TGraphic &dest) const;

    // Draws the picture scaled into rect (transparent where the class has
    // transparency and Transparent() is on).
    virtual void Draw(QPainter &painter, const QRect &rect) const = 0;
    // The picture as a QImage (for display and the clipboard); a null image
    // when empty.
    virtual QImage ToImage() const = 0;

    // Called after every change of the contents (editors repaint from it).
    std::function<void()> OnChange;

protected:
    void Changed() const
    {
        if (OnChange)
            OnChange();
    }
    bool m_transparent = false;
};

using TGraphicFactory = std::function<std::unique_ptr<TGraphic>()>;

struct TFileFormat
{
    QString extension;   // lower case, without the dot ("bmp")
    QString description; // "Windows Bitmap"
    QString className;   // "TBitmap"
    TGraphicFactory create;
};

class TPicture
{
public:
    TPicture();
    ~TPicture();
    TPicture(const TPicture &) = delete;
    TPicture &operator=(const TPicture &) = delete;

    // The graphic held (none when the picture is empty).
    TGraphic *Graphic() const { return m_graphic.get(); }
    void SetGraphic(std::unique_ptr<TGraphic> graphic); // takes ownership
    // As the class library's picture: when the graphic is not a TBitmap it is
    // replaced by a new, empty TBitmap.
    TBitmap &Bitmap();

    int Width() const;
    int Height() const;
    bool Empty() const;

    // Copies (Clone) the source; nullptr clears.
    void Assign(const TGraphic *source);
    void Assign(const TPicture &source);

    // The class is chosen by the file's extension; an unknown extension
    // raises EInvalidGraphic "Unknown picture file extension (.xyz)". The
    // held graphic is replaced only when loading succeeded.
    void LoadFromFile(const QString &fileName);
    // Saves through the held graphic's own format whatever the extension.
    void SaveToFile(const QString &fileName);
    // Loads with the class registered for the extension ("png" or ".png").
    void LoadFromStream(QIODevice &stream, const QString &extension);

    // Clipboard: the graphic goes on the clipboard as an image and, when its
    // class registered a clipboard MIME type, also in its own format. Loading
    // prefers a registered format and otherwise takes the image as a
    // TBitmap. Raises EInvalidGraphic when the clipboard holds no picture.
    void SaveToClipboard() const;
    void LoadFromClipboard();
    static bool ClipboardHasPicture();

    // Registry. A later registration of an extension replaces the earlier.
    static void RegisterFileFormat(const QString &extension, const QString &description,
                                   const QString &className, TGraphicFactory create);
    template <class G>
    static void RegisterFileFormat(const QString &extension, const QString &description)
    {
        RegisterFileFormat(extension, description, G().ClassName(),
                           [] { return std::unique_ptr<TGraphic>(new G()); });
    }
    static void RegisterClipboardFormat(const QString &mimeType, const QString &className,
                                        TGraphicFactory create);
    // Removes every extension and clipboard format of the class.
    static void UnregisterGraphicClass(const QString &className);
    // nullptr when the extension (with or without dot, any case) is unknown.
    // The entry stays valid until the next (un)registration.
    static const TFileFormat *FindFileFormat(const QString &extension);
    static QList<TFileFormat> FileFormats();
    // A new object of the class registered for the extension; EInvalidGraphic
    // when there is none.
    static std::unique_ptr<TGraphic> CreateForExtension(const QString &extension);
    // Qt file-dialog filter: "Windows Bitmap (*.bmp);;..." in registration order.
    static QString GraphicFilter();

private:
    std::unique_ptr<TGraphic> m_graphic;
};

} // namespace zk
