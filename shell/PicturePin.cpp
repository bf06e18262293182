#include "PicturePin.h"

#include "Bitmap.h"
#include "ImageControl.h"
#include "MainForm.h"

#include <QAction>

namespace zk {

TPicturePin::TPicturePin(TMainForm &form)
    : m_form(form)
{
    m_form.FPicturePins.append(this);
}

TPicturePin::~TPicturePin()
{
    m_form.FPicturePins.removeOne(this);
}

TGraphic *TPicturePin::Opened() const
{
    if (m_replaced)
        return m_kept.get();
    TPicture &picture = m_form.ScanImage->Picture();
    return picture.Empty() ? nullptr : picture.Graphic();
}

TBitmap *TPicturePin::OpenedBitmap() const
{
    return dynamic_cast<TBitmap *>(Opened());
}

void TPicturePin::TakeOver(const TPicture &picture)
{
    if (m_replaced)
        return; // the first capture replaced the picture this dialog is about
    m_replaced = true;
    if (picture.Graphic() && !picture.Empty()) {
        // As a bitmap, the class the edit commands and the writers work on.
        m_kept = std::make_unique<TBitmap>();
        m_kept->Assign(*picture.Graphic());
    }
}

void TPicturePin::KeepBehindUndo()
{
    if (!m_replaced || !m_kept)
        return;
    if (!m_form.UndoBitmap)
        m_form.UndoBitmap = std::make_unique<TBitmap>();
    *m_form.UndoBitmap = std::move(*m_kept);
    if (QAction *undo = m_form.Item(QStringLiteral("UndoMenuItem")))
        undo->setEnabled(true);
}

void TMainForm::PictureBeingReplaced()
{
    // The JPEG view scale belongs to the opened JPEG, not to a capture.
    FreeJpgScaleForm();
    if (FPicturePins.isEmpty())
        return;
    // Hot-key captures take no undo snapshot of their own; with a dialog
    // open on the old picture the user must be able to get it back.
    SaveUndo();
    for (TPicturePin *pin : std::as_const(FPicturePins))
        pin->TakeOver(ScanImage->Picture());
}

} // namespace zk
