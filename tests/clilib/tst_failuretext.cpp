// Failure kinds of every room, as scripts and people read them: each kind
// is itself and no other (the rooms number their kinds alike), has a name
// of its own, and a sentence.
#include "testmain.h"

#include "wording/failuretext.h"

#include <QRegularExpression>
#include <QSet>
#include <QTest>

using kestrin::FailureKind;

namespace {

/** Every kind of every room. */
QList<FailureKind> everyKind()
{
    QList<FailureKind> kinds;
    for (int code = 1; code <= int(kestrin::FileFailure::Cancelled); ++code)
        kinds << FailureKind(kestrin::FileFailure(code));
    for (int code = 1; code <= int(kestrin::FrameFailure::NotEnoughMemory); ++code)
        kinds << FailureKind(kestrin::FrameFailure(code));
    for (int code = 1; code <= int(kestrin::JobFailure::BadColorSettings); ++code)
        kinds << FailureKind(kestrin::JobFailure(code));
    for (int code = 1; code <= int(kestrin::PaletteFailure::PaletteTooSmall); ++code)
        kinds << FailureKind(kestrin::PaletteFailure(code));
    for (int code = 1; code <= int(kestrin::DecodeFailure::Truncated); ++code)
        kinds << FailureKind(kestrin::DecodeFailure(code));
    return kinds;
}

} // namespace

class FailureTextTest : public QObject
{
    Q_OBJECT

private slots:
    void kindsAreDistinctAndNamed()
    {
        const QList<FailureKind> kinds = everyKind();
        QCOMPARE(kinds.size(), 7 + 10 + 8 + 5 + 7);
        QSet<QString> names;
        for (qsizetype i = 0; i < kinds.size(); ++i) {
            for (qsizetype j = 0; j < kinds.size(); ++j)
                QCOMPARE(kinds[i] == kinds[j], i == j);
            QVERIFY(kinds[i] != FailureKind());
            const QString name = kestrin::failureKindName(kinds[i]);
            QVERIFY2(!name.isEmpty() && name != QLatin1String("none") && !names.contains(name), qPrintable(name));
            QVERIFY2(QRegularExpression(QStringLiteral("^[a-z]+(-[a-z]+)*$")).match(name).hasMatch(), qPrintable(name));
            names.insert(name);
            kestrin::Failure failure = kestrin::Failure::of(kinds[i], QStringLiteral("p"), QStringLiteral("why"));
            QVERIFY(bool(failure));
            QVERIFY2(!kestrin::describeFailure(failure).isEmpty(), qPrintable(name));
        }
        // The names scripts read, which do not change with the code's layout.
        QCOMPARE(kestrin::failureKindName(kestrin::FileFailure::CannotWriteFile), QStringLiteral("cannot-write-file"));
        QCOMPARE(kestrin::failureKindName(kestrin::FrameFailure::CannotLoadFrame), QStringLiteral("cannot-load-frame"));
        QCOMPARE(kestrin::failureKindName(kestrin::JobFailure::BadProjectFile), QStringLiteral("bad-project-file"));
        QCOMPARE(kestrin::failureKindName(kestrin::PaletteFailure::PaletteTooSmall),
                 QStringLiteral("palette-too-small"));
        QCOMPARE(kestrin::failureKindName(kestrin::DecodeFailure::NotAnImage), QStringLiteral("not-an-image"));
        QCOMPARE(kestrin::failureKindName(FailureKind()), QStringLiteral("none"));
        // Code 0 of a room that has one is no failure.
        QVERIFY(FailureKind(kestrin::DecodeFailure::None) == FailureKind());
        QVERIFY(!kestrin::Failure());
        QVERIFY(kestrin::describeFailure(kestrin::Failure()).isEmpty());
    }
};

KESTRIN_TEST(FailureTextTest)
#include "tst_failuretext.moc"
