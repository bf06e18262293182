// Opening the settings dialog: create, fill from the record, show and paint
// the first page, then close. The peer is a plain dialog holding as many
// simple controls (labels, check boxes, edits, buttons) made, shown and
// painted the same way. Goal: at most twice the peer.
#include "BenchKit.h"
#include "OptionDlg.h"
#include "ProgramDir.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QVBoxLayout>

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir dir;
    zk::SetProgramDirOverride(dir.path() + "/");
    zk::TZelkoraOptions options;
    zk::SetDefaultOptions(options);

    int controls = 0;
    {
        zk::TOptionDlgBMForm probe;
        controls = int(probe.findChildren<QWidget *>().size());
    }
    const auto ours = [&] {
        zk::TOptionDlgBMForm dlg;
        dlg.SetOptions(options);
        dlg.show();
        dlg.grab();
        dlg.close();
    };
    const auto peer = [&] {
        QDialog dlg;
        auto *layout = new QVBoxLayout(&dlg);
        for (int i = 0; i < controls; ++i) {
            QWidget *w = nullptr;
            switch (i % 4) {
            case 0: w = new QLabel(QStringLiteral("Beschriftung %1").arg(i)); break;
            case 1: w = new QCheckBox(QStringLiteral("Auswahl %1").arg(i)); break;
            case 2: w = new QLineEdit(QStringLiteral("%1").arg(i)); break;
            default: w = new QPushButton(QStringLiteral("Knopf %1").arg(i)); break;
            }
            layout->addWidget(w);
        }
        dlg.show();
        dlg.grab();
        dlg.close();
    };
    std::printf("%d controls\n", controls);
    zkbench::Print("open the settings dialog", zkbench::Turns(ours, peer, zkbench::Rounds(15)), 2.0);
    return 0;
}
