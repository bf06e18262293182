// Printing through a real CUPS scheduler the test starts in its own folder:
// one queue whose backend copies each job into a file. The printer list
// shows it, the stored printer index picks it, and a print delivers a PDF;
// with the scheduler's socket dead there is no printer and the print says so.
// Each case runs in a process of its own (ctest), as the CUPS client reads
// CUPS_SERVER once.
#include "Bitmap.h"
#include "ImageControl.h"
#include "MainForm.h"
#include "QuietForm.h"
#include "Registry.h"
#include "TestSupport.h"
#include "X11Support.h"
#include "XPrint.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QPrinterInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <functional>

#include <unistd.h>

using namespace zk;
using zktest::QuietForm;

namespace {

void write(const QString &path, const QString &text)
{
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text.toUtf8());
}

// A scheduler with ServerRoot, spool, cache, logs and its socket below one
// temporary folder; its programs are the system's, its one backend ours.
class PrivateCups
{
public:
    bool Start(QString *why)
    {
        if (geteuid() != 0) {
            *why = "the scheduler's backend runs as root only for a root test";
            return false;
        }
        if (!zktest::haveProgram("/usr/sbin/cupsd") || !zktest::haveProgram("lpadmin")) {
            *why = "needs cups-daemon and cups-client";
            return false;
        }
        const QString t = m_dir.path();
        for (const char *d : {"root", "spool", "cache", "state", "log", "bin/backend", "out"})
            QDir().mkpath(t + "/" + d);
        QFile::setPermissions(t, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                     QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
        QFile::link("/usr/lib/cups/daemon", t + "/bin/daemon");
        const QString backend = t + "/bin/backend/zktest";
        write(backend, QStringLiteral("#!/bin/sh\n"
                                      "if [ $# -eq 0 ]; then echo 'direct zktest \"Unknown\" \"Zelkora test\"'; exit 0; fi\n"
                                      "if [ -n \"$6\" ]; then cp \"$6\" %1/out/job.tmp; else cat > %1/out/job.tmp; fi\n"
                                      "mv %1/out/job.tmp %1/out/job.bin\n")
                              .arg(t));
        // Mode 0700: the scheduler then runs the backend as root.
        QFile::setPermissions(backend, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        write(t + "/root/cups-files.conf",
              QStringLiteral("ServerRoot %1/root\nServerBin %1/bin\nDataDir /usr/share/cups\n"
                             "RequestRoot %1/spool\nCacheDir %1/cache\nStateDir %1/state\nTempDir %1/spool\n"
                             "AccessLog %1/log/access_log\nErrorLog %1/log/error_log\nPageLog %1/log/page_log\n"
                             "FileDevice No\nSandboxing relaxed\n")
                  .arg(t));
        write(t + "/root/cupsd.conf",
              QStringLiteral("Listen %1/cups.sock\nWebInterface No\nBrowsing No\n"
                             "<Location />\n  Order allow,deny\n  Allow all\n</Location>\n"
                             "<Policy default>\n  <Limit All>\n    Order deny,allow\n  </Limit>\n</Policy>\n")
                  .arg(t));
        m_cupsd.start("/usr/sbin/cupsd", {"-f", "-c", t + "/root/cupsd.conf", "-s", t + "/root/cups-files.conf"});
        if (!m_cupsd.waitForStarted(5000)) {
            *why = "cupsd did not start";
            return false;
        }
        qputenv("CUPS_SERVER", Socket().toLocal8Bit());
        QElapsedTimer clock;
        clock.start();
        while (zktest::runProgram("lpstat", {"-r"}) != 0 && clock.elapsed() < 10000)
            QThread::msleep(100);
        if (zktest::runProgram("lpadmin", {"-p", "zkq", "-E", "-v", "zktest:/"}) != 0) {
            *why = "lpadmin could not make the queue";
            return false;
        }
        return true;
    }
    ~PrivateCups()
    {
        if (m_cupsd.state() != QProcess::NotRunning) {
            m_cupsd.terminate();
            if (!m_cupsd.waitForFinished(5000))
                m_cupsd.kill();
        }
    }
    // A second queue on the same backend whose description says it prints
    // in colour and passes the page on as it is.
    bool AddColourQueue(const QString &name)
    {
        const QString ppd = m_dir.path() + "/colour.ppd";
        write(ppd, QStringLiteral(
                       "*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n"
                       "*LanguageVersion: English\n*LanguageEncoding: ISOLatin1\n*PCFileName: \"ZKCOLOUR.PPD\"\n"
                       "*Manufacturer: \"Zelkora\"\n*Product: \"(Zelkora colour)\"\n*ModelName: \"Zelkora colour\"\n"
                       "*ShortNickName: \"Zelkora colour\"\n*NickName: \"Zelkora colour\"\n"
                       "*PSVersion: \"(3010.000) 0\"\n*LanguageLevel: \"3\"\n*ColorDevice: True\n"
                       "*DefaultColorSpace: RGB\n*FileSystem: False\n*Throughput: \"1\"\n"
                       "*LandscapeOrientation: Plus90\n*TTRasterizer: Type42\n"
                       "*cupsFilter: \"application/pdf 0 -\"\n"
                       "*OpenUI *PageSize/Media Size: PickOne\n*OrderDependency: 10 AnySetup *PageSize\n"
                       "*DefaultPageSize: A4\n*PageSize A4/A4: \"<</PageSize[595 842]>>setpagedevice\"\n"
                       "*CloseUI: *PageSize\n*DefaultImageableArea: A4\n*ImageableArea A4/A4: \"0 0 595 842\"\n"
                       "*DefaultPaperDimension: A4\n*PaperDimension A4/A4: \"595 842\"\n"
                       "*OpenUI *ColorModel/Color Mode: PickOne\n*OrderDependency: 10 AnySetup *ColorModel\n"
                       "*DefaultColorModel: RGB\n*ColorModel RGB/Colour: \"\"\n*ColorModel Gray/Grey: \"\"\n"
                       "*CloseUI: *ColorModel\n"));
        return zktest::runProgram("lpadmin", {"-p", name, "-E", "-v", "zktest:/", "-P", ppd}) == 0;
    }
    QString Socket() const { return m_dir.path() + "/cups.sock"; }
    QString Job() const { return m_dir.path() + "/out/job.bin"; }

private:
    // A short folder: the socket path must fit a Unix socket address.
    QTemporaryDir m_dir{QStringLiteral("/tmp/zkcupsXXXXXX")};
    QProcess m_cupsd;
};

void setPicture(TMainForm &form)
{
    form.ScanImage->Picture().Bitmap().Assign(zktest::knownPicture(120, 80, 5));
    form.ScanImage->PictureChanged();
}

} // namespace

TEST(PrinterQueue, TheQueueIsListedChosenAndGetsAPdf)
{
    PrivateCups cups;
    QString why;
    if (!cups.Start(&why))
        GTEST_SKIP() << why.toStdString();
    TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
    const QStringList names = QPrinterInfo::availablePrinterNames();
    ASSERT_TRUE(names.contains("zkq")) << names.join(',').toStdString();
    TXPrint xp;
    EXPECT_TRUE(xp.PrinterExists());
    EXPECT_TRUE(xp.Printers().contains("zkq"));

    QuietForm form;
    setPicture(form);
    form.Options.PrPrinterIndex = names.indexOf("zkq");
    form.PrintClick();
    EXPECT_EQ(form.ReportPrinter->printerName(), "zkq");
    QElapsedTimer clock;
    clock.start();
    while (!QFile::exists(cups.Job()) && clock.elapsed() < 20000)
        QThread::msleep(100);
    ASSERT_TRUE(QFile::exists(cups.Job()));
    QByteArray info;
    EXPECT_EQ(zktest::runProgram("pdfinfo", {cups.Job()}, &info), 0) << info.constData();
    TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
}

namespace {

bool waitForFile(const QString &file, int ms)
{
    QElapsedTimer clock;
    clock.start();
    while (!QFile::exists(file) && clock.elapsed() < ms)
        QThread::msleep(100);
    return QFile::exists(file);
}

// The messages a call raised, each answered with OK.
QStringList messagesOf(const std::function<void()> &call)
{
    QStringList seen;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&seen] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            seen << box->objectName() + ": " + box->text();
            box->button(QMessageBox::Ok)->click();
        }
    });
    timer.start(50);
    call();
    return seen;
}

} // namespace

TEST(PrinterQueue, TheChosenColourQueuePrintsInColourAndARefusingQueueSaysSo)
{
    PrivateCups cups;
    QString why;
    if (!cups.Start(&why))
        GTEST_SKIP() << why.toStdString();
    // The system's default queue is the raw one; the user chose the colour one.
    ASSERT_EQ(zktest::runProgram("lpadmin", {"-d", "zkq"}), 0);
    ASSERT_TRUE(cups.AddColourQueue("zkcolour"));
    TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
    const QStringList names = QPrinterInfo::availablePrinterNames();
    ASSERT_TRUE(names.contains("zkcolour")) << names.join(',').toStdString();

    QuietForm form;
    // Left half red, right half blue, odd size.
    TBitmap &b = form.ScanImage->Picture().Bitmap();
    b.SetSize(121, 37);
    {
        auto c = b.Canvas();
        c->fillRect(QRect(0, 0, 60, 37), QColor(220, 20, 20));
        c->fillRect(QRect(60, 0, 61, 37), QColor(20, 20, 220));
    }
    form.ScanImage->PictureChanged();
    form.Options.PrPrinterIndex = names.indexOf("zkcolour");
    EXPECT_TRUE(messagesOf([&] { form.PrintClick(); }).isEmpty());
    ASSERT_TRUE(waitForFile(cups.Job(), 20000));
    QByteArray list;
    ASSERT_EQ(zktest::runProgram("pdfimages", {"-list", cups.Job()}, &list), 0);
    const QList<QByteArray> rows = list.trimmed().split('\n');
    ASSERT_GE(rows.size(), 3) << list.constData();
    EXPECT_TRUE(rows[2].contains(" rgb ")) << list.constData();
    EXPECT_TRUE(rows[2].contains(" 121 ") && rows[2].contains(" 37 ")) << list.constData();

    // A queue that refuses jobs: its reason in the print-failure message, no job.
    QFile::remove(cups.Job());
    ASSERT_EQ(zktest::runProgram("cupsreject", {"-r", "paper jam drill", "zkcolour"}), 0);
    const QStringList seen = messagesOf([&] { form.PrintClick(); });
    ASSERT_EQ(seen.size(), 1);
    EXPECT_TRUE(seen[0].startsWith("showmsg_print_failed: ")) << seen[0].toStdString();
    EXPECT_TRUE(seen[0].contains("zkcolour") || seen[0].contains("accept")) << seen[0].toStdString();
    EXPECT_FALSE(waitForFile(cups.Job(), 2000));
    TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
}

TEST(PrinterQueue, ADeadSchedulerMeansNoPrinterAndAMessage)
{
    QTemporaryDir dir;
    qputenv("CUPS_SERVER", (dir.path() + "/nobody-listens.sock").toLocal8Bit());
    TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
    if (!QPrinterInfo::availablePrinterNames().isEmpty())
        GTEST_SKIP() << "printers known without a scheduler";
    TXPrint xp;
    EXPECT_FALSE(xp.PrinterExists());
    QuietForm form;
    setPicture(form);
    form.FindPrinters(); // as when the window shows
    form.ZKApplicationEventsIdle();
    // Button and menu item follow the same rule.
    EXPECT_FALSE(form.Item("PrintToolButton")->isEnabled());
    EXPECT_FALSE(form.Item("PrintMenuItem")->isEnabled());
    QStringList seen;
    QTimer::singleShot(0, [&seen] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            seen << box->objectName();
            box->button(QMessageBox::Ok)->click();
        }
    });
    form.PrintClick();
    EXPECT_EQ(seen, QStringList{"showmsg_no_printer"});
    TRegistry().DeleteKey(QStringLiteral("Software\\Tarvendo"));
}
