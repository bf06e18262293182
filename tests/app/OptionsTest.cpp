// The settings record against the real store: first-run defaults, what a save
// leaves in the "Options" key (names, types, order), round trips, and how a
// damaged or incomplete key is read.
#include "Options.h"
#include "Registry.h"
#include "TestSupport.h"

#include <QCryptographicHash>
#include <QFile>
#include <QSet>

#include <gtest/gtest.h>

using namespace zk;

namespace {

using Bytes9 = std::array<std::uint8_t, 9>;

const QString kKey = QString::fromLatin1(OptionsStore::KeyPath);

QString qname(std::string_view n)
{
    return QString::fromLatin1(n.data(), qsizetype(n.size()));
}

void removeOptionsKey()
{
    TRegistry reg;
    if (reg.KeyExists(kKey)) {
        ASSERT_TRUE(reg.DeleteKey(kKey));
    }
}

QStringList storedNames()
{
    TRegistry reg;
    if (!reg.OpenKeyReadOnly(kKey))
        return {};
    return reg.GetValueNames();
}

// A record where every stored field holds a value that is neither its
// default nor the zero state, different from field to field.
TZelkoraOptions distinctiveRecord()
{
    TZelkoraOptions o;
    int n = 0;
    for (const OptionField &f : OptionTable()) {
        ++n;
        void *p = f.field(o);
        switch (f.type) {
        case OptionType::Bool: *static_cast<bool *>(p) = !f.defInt; break;
        case OptionType::Byte: *static_cast<std::uint8_t *>(p) = std::uint8_t(100 + n); break;
        case OptionType::Word: *static_cast<std::uint16_t *>(p) = std::uint16_t(40000 + n); break;
        case OptionType::Int: *static_cast<std::int32_t *>(p) = -1000000 - n; break;
        case OptionType::String: *static_cast<QString *>(p) = QStringLiteral("Wert %1 äö \"%2\"").arg(n).arg(qname(f.name)); break;
        case OptionType::Bytes9:
            for (int i = 0; i < 9; ++i)
                (*static_cast<std::array<std::uint8_t, 9> *>(p))[std::size_t(i)] = std::uint8_t(i % 2);
            break;
        }
    }
    return o;
}

void expectSameStoredFields(TZelkoraOptions &a, TZelkoraOptions &b)
{
    for (const OptionField &f : OptionTable()) {
        void *pa = f.field(a);
        void *pb = f.field(b);
        switch (f.type) {
        case OptionType::Bool: EXPECT_EQ(*static_cast<bool *>(pa), *static_cast<bool *>(pb)) << f.name; break;
        case OptionType::Byte:
            EXPECT_EQ(*static_cast<std::uint8_t *>(pa), *static_cast<std::uint8_t *>(pb)) << f.name;
            break;
        case OptionType::Word:
            EXPECT_EQ(*static_cast<std::uint16_t *>(pa), *static_cast<std::uint16_t *>(pb)) << f.name;
            break;
        case OptionType::Int:
            EXPECT_EQ(*static_cast<std::int32_t *>(pa), *static_cast<std::int32_t *>(pb)) << f.name;
            break;
        case OptionType::String:
            EXPECT_EQ(*static_cast<QString *>(pa), *static_cast<QString *>(pb)) << f.name;
            break;
        case OptionType::Bytes9:
            EXPECT_EQ(*static_cast<Bytes9 *>(pa), *static_cast<Bytes9 *>(pb)) << f.name;
            break;
        }
    }
}

} // namespace

TEST(OptionsRecord, TableDeclaresEveryStoredFieldWithItsWidth)
{
    EXPECT_EQ(OptionTable().size(), 132u);
    TZelkoraOptions o;
    const auto *base = reinterpret_cast<const char *>(&o);
    QSet<QString> names;
    for (const OptionField &f : OptionTable()) {
        names.insert(qname(f.name).toLower());
        // The accessor points inside the record, and the declared width is the
        // width of the member it points at.
        const auto *p = static_cast<const char *>(f.field(o));
        EXPECT_TRUE(p >= base && p < base + sizeof o) << f.name;
        switch (f.type) {
        case OptionType::Bool: EXPECT_EQ(f.width, int(sizeof(bool))) << f.name; break;
        case OptionType::Byte: EXPECT_EQ(f.width, 1) << f.name; break;
        case OptionType::Word: EXPECT_EQ(f.width, 2) << f.name; break;
        case OptionType::Int: EXPECT_EQ(f.width, 4) << f.name; break;
        case OptionType::String: EXPECT_EQ(f.width, 0) << f.name; break;
        case OptionType::Bytes9: EXPECT_EQ(f.width, 9) << f.name; break;
        }
    }
    EXPECT_EQ(names.size(), 132);
    EXPECT_FALSE(names.contains("timescanrunning"));
    EXPECT_EQ(FindOptionField("SmtpBCopy")->field(o), &o.Smtp.BlindCopy);
    EXPECT_EQ(FindOptionField("mapisubject")->field(o), &o.Mapi.Subject);
    EXPECT_EQ(FindOptionField("NoSuchOption"), nullptr);
}

TEST(OptionsRecord, FirstRunGivesTheDefaults)
{
    removeOptionsKey();
    TZelkoraOptions o;
    o.TimeScanRunning = true;
    EXPECT_FALSE(OptionsStore::Load(o));
    EXPECT_EQ(o.ScanDelay, 240);
    EXPECT_EQ(o.HK1, 0); // A
    EXPECT_EQ(o.HK2, 2); // E
    EXPECT_EQ(o.HK3, 3); // F
    EXPECT_EQ(o.HK4, 4); // G
    EXPECT_EQ(o.HK5, 5); // H
    EXPECT_EQ(o.HK6, 1); // B
    EXPECT_EQ(o.FileTyp, 0);
    EXPECT_EQ(o.SoundFileNr, 1);
    EXPECT_EQ(o.Language, 0);
    EXPECT_EQ(o.Mapi.Subject, "Zelkora 5.0 - Screenshot");
    EXPECT_EQ(o.Mapi.Body, "Guten Tag,");
    EXPECT_EQ(o.FontName, "MS Sans Serif");
    EXPECT_EQ(o.PrTextFont, "Arial");
    EXPECT_EQ(o.TimeScanCount, 5);
    EXPECT_EQ(o.BmpPixForm, 6);
    EXPECT_EQ(o.AviTimerIntrv, 1000);
    EXPECT_EQ(o.TxtPenWidth, 10);
    EXPECT_TRUE(o.TnaUse);
    EXPECT_TRUE(o.StatBar);
    EXPECT_TRUE(o.SysKeys);
    EXPECT_TRUE(o.Loupe);
    EXPECT_TRUE(o.MagneticFE);
    EXPECT_FALSE(o.PersSave);
    EXPECT_FALSE(o.TimeScanRunning);
    // The first run writes nothing.
    TRegistry reg;
    EXPECT_FALSE(reg.KeyExists(kKey));
}

TEST(OptionsRecord, FirstRunLeavesUnmarkedFieldsAsTheyWere)
{
    removeOptionsKey();
    TZelkoraOptions o;
    o.DocCenter = true;
    o.FocusMode = true;
    o.FilledShape = true;
    o.ExtProgPath = "keep";
    o.ShellExtAr[3] = 1;
    OptionsStore::Load(o);
    EXPECT_TRUE(o.DocCenter);
    EXPECT_TRUE(o.FocusMode);
    EXPECT_TRUE(o.FilledShape);
    EXPECT_EQ(o.ExtProgPath, "keep");
    EXPECT_EQ(o.ShellExtAr[3], 1);
}

TEST(OptionsStore, SaveWrites128TypedValuesInTheStoreOrder)
{
    removeOptionsKey();
    TZelkoraOptions o;
    SetDefaultOptions(o);
    ASSERT_TRUE(OptionsStore::Save(o));

    TRegistry reg;
    ASSERT_TRUE(reg.OpenKeyReadOnly(kKey));
    const QStringList names = reg.GetValueNames();
    ASSERT_EQ(names.size(), 128);
    const auto order = OptionSaveOrder();
    for (int i = 0; i < names.size(); ++i) {
        EXPECT_EQ(names[i], qname(order[std::size_t(i)])) << "position " << i;
        const OptionField *f = FindOptionField(order[std::size_t(i)]);
        ASSERT_NE(f, nullptr);
        switch (f->type) {
        case OptionType::String:
            EXPECT_EQ(reg.GetDataType(names[i]), RegDataType::String) << f->name;
            break;
        case OptionType::Bytes9:
            EXPECT_EQ(reg.GetDataType(names[i]), RegDataType::Binary) << f->name;
            EXPECT_EQ(reg.GetDataSize(names[i]), 9) << f->name;
            break;
        default:
            EXPECT_EQ(reg.GetDataType(names[i]), RegDataType::Integer) << f->name;
            break;
        }
    }
    for (const char *left : {"DocCenter", "FocusMode", "Stretch", "Trans", "TimeScanRunning"})
        EXPECT_FALSE(names.contains(left, Qt::CaseInsensitive)) << left;
    EXPECT_TRUE(names.contains("Loupe"));
    EXPECT_EQ(reg.ReadInteger("ScanDelay"), 240);
    EXPECT_TRUE(reg.ReadBool("TnaUse"));
    EXPECT_EQ(reg.ReadString("MapiSubject"), "Zelkora 5.0 - Screenshot");
    EXPECT_EQ(reg.ReadString("SmtpBCopy"), "");
}

TEST(OptionsStore, ViewSwitchesCompleteTheKeyTo132Values)
{
    removeOptionsKey();
    TZelkoraOptions o;
    SetDefaultOptions(o);
    ASSERT_TRUE(OptionsStore::Save(o));
    for (std::string_view name : OptionViewSwitches())
        ASSERT_TRUE(OptionsStore::WriteOptionBool(qname(name), true));

    const QStringList names = storedNames();
    EXPECT_EQ(names.size(), 132);
    QSet<QString> stored, read;
    for (const QString &n : names)
        stored.insert(n.toLower());
    for (std::string_view n : OptionLoadOrder())
        read.insert(qname(n).toLower());
    EXPECT_EQ(stored, read);

    TZelkoraOptions back;
    ASSERT_TRUE(OptionsStore::Load(back));
    EXPECT_TRUE(back.DocCenter);
    EXPECT_TRUE(back.FocusMode);
    EXPECT_TRUE(back.Stretch);
    EXPECT_TRUE(back.Trans);
    EXPECT_TRUE(back.Loupe);
}

TEST(OptionsStore, EveryFieldSurvivesSaveAndLoad)
{
    removeOptionsKey();
    TZelkoraOptions saved = distinctiveRecord();
    saved.TimeScanRunning = true;
    ASSERT_TRUE(OptionsStore::Save(saved));
    for (std::string_view name : OptionViewSwitches())
        ASSERT_TRUE(OptionsStore::WriteOptionBool(qname(name), *static_cast<bool *>(FindOptionField(name)->field(saved))));

    TZelkoraOptions loaded;
    SetDefaultOptions(loaded);
    ASSERT_TRUE(OptionsStore::Load(loaded));
    expectSameStoredFields(saved, loaded);
    EXPECT_FALSE(loaded.TimeScanRunning);
}

TEST(OptionsStore, StoredIntegersKeepOnlyTheFieldsWidth)
{
    removeOptionsKey();
    TZelkoraOptions o;
    SetDefaultOptions(o);
    ASSERT_TRUE(OptionsStore::Save(o));
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, false));
        reg.WriteInteger("FileTyp", 256);
        reg.WriteInteger("SoundFileNr", 0x1FF);
        reg.WriteInteger("TimeScanCount", 65536 + 7);
        reg.WriteInteger("ScanDelay", -5);
        reg.WriteInteger("PersSave", 42); // any value but 0 is true
    }
    TZelkoraOptions back;
    ASSERT_TRUE(OptionsStore::Load(back));
    EXPECT_EQ(back.FileTyp, 0);
    EXPECT_EQ(back.SoundFileNr, 0xFF);
    EXPECT_EQ(back.TimeScanCount, 7);
    EXPECT_EQ(back.ScanDelay, -5);
    EXPECT_TRUE(back.PersSave);
}

TEST(OptionsStore, MissingOrMistypedValuesTakeTheirDefaultsAndTheLoadGoesOn)
{
    removeOptionsKey();
    TZelkoraOptions o = distinctiveRecord();
    ASSERT_TRUE(OptionsStore::Save(o));
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, false));
        // The very first value read, one in the middle and one string.
        ASSERT_TRUE(reg.DeleteValue("PersSave"));
        ASSERT_TRUE(reg.DeleteValue("HK2"));
        ASSERT_TRUE(reg.DeleteValue("MapiSubject"));
        ASSERT_TRUE(reg.DeleteValue("ShellExtAr"));
        reg.WriteString("ScanDelay", "not a number");
        reg.WriteInteger("FontName", 3);
    }
    TZelkoraOptions back;
    ASSERT_TRUE(OptionsStore::Load(back));
    EXPECT_FALSE(back.PersSave);
    EXPECT_EQ(back.HK2, 2);
    EXPECT_EQ(back.Mapi.Subject, "Zelkora 5.0 - Screenshot");
    EXPECT_EQ(back.ScanDelay, 240);
    EXPECT_EQ(back.FontName, "MS Sans Serif");
    EXPECT_EQ(back.ShellExtAr, (std::array<std::uint8_t, 9>{}));
    // Everything read after the damaged values is still there.
    EXPECT_EQ(back.HK3, o.HK3);
    EXPECT_EQ(back.Mapi.Body, o.Mapi.Body);
    EXPECT_EQ(back.AttachZipped, o.AttachZipped);
    EXPECT_EQ(back.TxtPenColr, o.TxtPenColr);
    EXPECT_EQ(back.Smtp.Subject, o.Smtp.Subject);
    // The save that replaces the mistyped values keeps the file as it was.
    const QString store = TRegistry::StoreFile(RootKey::CurrentUser);
    const QByteArray before = zktest::readBytes(store);
    QStringList told;
    SetDamagedStoreHandler([&](const QString &file, const QString &copy) { told << file << copy; });
    ASSERT_TRUE(OptionsStore::Save(back));
    SetDamagedStoreHandler(nullptr);
    EXPECT_EQ(told, QStringList({store, store + ".damaged"}));
    EXPECT_EQ(zktest::readBytes(store + ".damaged"), before);
    QFile::remove(store + ".damaged");
}

TEST(OptionsStore, ShortBinaryValueFillsOnlyWhatItHas)
{
    removeOptionsKey();
    TZelkoraOptions o;
    SetDefaultOptions(o);
    ASSERT_TRUE(OptionsStore::Save(o));
    {
        TRegistry reg;
        ASSERT_TRUE(reg.OpenKey(kKey, false));
        reg.WriteBinaryData("ShellExtAr", QByteArray("\x01\x00\x01", 3));
    }
    TZelkoraOptions back;
    back.ShellExtAr.fill(7);
    ASSERT_TRUE(OptionsStore::Load(back));
    EXPECT_EQ(back.ShellExtAr, (std::array<std::uint8_t, 9>{1, 0, 1, 0, 0, 0, 0, 0, 0}));
}

TEST(OptionsRecord, IndicesOutOfRangeCountAsTheirDefault)
{
    TZelkoraOptions o;
    SetDefaultOptions(o);
    o.HK1 = 15;
    o.HK4 = 14;
    o.SoundFileNr = 10;
    o.Language = 5;
    o.FileTyp = 10;
    o.BackColr = 12;
    o.TxtPenColr = 11;
    o.HotkeyCursor = 0;
    o.ScanTool = 13;
    o.ScanPerSec = 200; // a count, not an index
    EXPECT_EQ(UsableIndex(o, "HK1"), 0);
    EXPECT_EQ(UsableIndex(o, "HK4"), 14);
    EXPECT_EQ(UsableIndex(o, "SoundFileNr"), 1);
    EXPECT_EQ(UsableIndex(o, "Language"), 0);
    EXPECT_EQ(UsableIndex(o, "FileTyp"), 0);
    EXPECT_EQ(UsableIndex(o, "BackColr"), 1);
    EXPECT_EQ(UsableIndex(o, "TxtPenColr"), 11);
    EXPECT_EQ(UsableIndex(o, "HotkeyCursor"), 1);
    EXPECT_EQ(UsableIndex(o, "ScanTool"), 0);
    EXPECT_EQ(UsableIndex(o, "ScanPerSec"), 200);
    o.HotkeyCursor = 20;
    o.FileTyp = 9;
    EXPECT_EQ(UsableIndex(o, "HotkeyCursor"), 20);
    EXPECT_EQ(UsableIndex(o, "FileTyp"), 9);
}

TEST(OptionsRecord, FileTypeExtensions)
{
    const char *expected[] = {".bmp", ".jpg", ".gif", ".wmf", ".emf", ".ico", ".zkg", ".tif", ".png"};
    for (int i = 0; i < 9; ++i)
        EXPECT_EQ(FileTypeExt(i), expected[i]) << i;
    EXPECT_EQ(FileTypeExt(9), "ftUndefine");
    EXPECT_EQ(FileTypeExt(255), "ftUndefine");
    EXPECT_EQ(FileTypeExt(-1), "ftUndefine");
}

TEST(CaptureSound, SelectSoundFileNamesTheTenSounds)
{
    SelectSoundFile(0);
    EXPECT_EQ(CaptureSoundFile, "Templates/camera.snd");
    SelectSoundFile(1);
    EXPECT_EQ(CaptureSoundFile, "Templates/camera.wav");
    for (int i = 2; i <= 9; ++i) {
        SelectSoundFile(i);
        EXPECT_EQ(CaptureSoundFile, QStringLiteral("Templates/camera%1.wav").arg(i));
    }
    SelectSoundFile(10);
    EXPECT_EQ(CaptureSoundFile, "Templates/camera9.wav");
    SelectSoundFile(255);
    EXPECT_EQ(CaptureSoundFile, "Templates/camera9.wav");
}

// The shipped sounds, checked by an independent decoder: short 16-bit mono
// PCM at 22050 Hz, and ten different recordings.
TEST(CaptureSound, TemplatesHoldTenShortDistinctWaveFiles)
{
    ASSERT_TRUE(zktest::haveProgram("ffprobe"));
    QSet<QByteArray> digests;
    for (int i = 0; i <= 9; ++i) {
        SelectSoundFile(i);
        const QString path = QStringLiteral(ZK_SOURCE_DIR "/") + CaptureSoundFile;
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
        const QByteArray bytes = f.readAll();
        EXPECT_LT(bytes.size(), 64 * 1024) << path.toStdString();
        digests.insert(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256));

        QByteArray out;
        ASSERT_EQ(zktest::runProgram("ffprobe", {"-v", "error", "-show_entries",
                                                 "stream=codec_name,sample_rate,channels,duration", "-of",
                                                 "default=noprint_wrappers=1", path},
                                     &out),
                  0)
            << path.toStdString();
        EXPECT_TRUE(out.contains("codec_name=pcm_s16le")) << out.constData();
        EXPECT_TRUE(out.contains("sample_rate=22050")) << out.constData();
        EXPECT_TRUE(out.contains("channels=1")) << out.constData();
        const int at = out.indexOf("duration=");
        ASSERT_GE(at, 0);
        const double seconds = out.mid(at + 9).split('\n').first().toDouble();
        EXPECT_GE(seconds, 0.2) << path.toStdString();
        EXPECT_LE(seconds, 0.5) << path.toStdString();
    }
    EXPECT_EQ(digests.size(), 10);
}
