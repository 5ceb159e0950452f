// The article lookup on an in-memory table, and the missing-article report on disk.
#include "import/articlelookup.h"
#include "tests/support/fakedatabase.h"
#include "tests/support/files.h"
#include "tests/support/importtexts.h"
#include "tests/support/recordingdialogs.h"
#include "tests/support/tables.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace importtexts;

class TestRechercheRef : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        m_executable = {m_dir->path(), kTitle};
        m_dialogs = {};
        m_lookup = std::make_unique<ArticleLookup>(m_dialogs, m_executable);
    }
    void resolves_data() { addTableRows("lookup.txt"); }
    void resolves()
    {
        QFETCH(QByteArrayList, row);
        const QString code = QString::fromUtf8(row[0]), expected = QString::fromUtf8(row[1]);
        // Code, CodeBarre, in scan order.
        useArticles({{"ART1", "3760000000017"},
                     {"étau", {}},
                     {"L'équerre", "EQ"},
                     {"BOIS \"13\"", {}},
                     {"100%", "%"},
                     {"VIS ", {}},
                     {"PREMIER", "DUO"},
                     {"DUO", {}},
                     {"TRIO", {}},
                     {"AUTRE", "TRIO"},
                     {"DOUBLE", "D1"},
                     {"double", "D2"},
                     {{}, {}},
                     {"VIDE", ""},
                     {"", "X"},
                     {"Ωmega", {}},
                     {{}, "NC"},
                     {"NC", {}}});
        // A failing lookup says so and gives the empty text.
        const bool fails = expected.startsWith('!');
        QCOMPARE(m_lookup->RechercheRef(code), fails ? QString() : expected);
        QCOMPARE(m_dialogs.events, fails ? QStringList{"message:" + kLookupFailure + expected.mid(1)} : QStringList());
        QCOMPARE(readFile(reportPath()),
                 expected.isEmpty() ? kReportHeading + reportLine(code.toLatin1()) : "<absent>");
    }
    void reportAppended()
    {
        const auto articles = useArticles({{"A", "1"}});
        for (const char *code : {"Z9", "A", "", "  B2 ", "Dépôt€", "Ω", "Z9"})
            m_lookup->RechercheRef(QString::fromUtf8(code));
        // A later run of the program appends to what earlier runs left, heading not repeated.
        ArticleLookup later(m_dialogs, m_executable);
        later.setConnectScen(articles);
        later.RechercheRef("Y8");
        QCOMPARE(readFile(reportPath()), kReportHeading + reportLine("Z9") + reportLine("") + reportLine("  B2 ")
                                             + reportLine("D\xE9p\xF4t\x80") + reportLine("?") + reportLine("Z9")
                                             + reportLine("Y8"));
        QCOMPARE(m_dialogs.events, QStringList());
    }
    void reportNotWritable_data() { addTableRows("reportnotwritable.txt"); }
    void reportNotWritable()
    {
        QFETCH(QByteArrayList, row);
        const QByteArray setup = row[0];
        const bool appended = row[1] == "appended"; // the line reached the report after all
        if (setup.startsWith("readOnly") && ::geteuid() == 0)
            QSKIP("permission bits do not stop root from writing");
        useArticles({{"A", "1"}});
        if (setup == "gone")
            QVERIFY(m_dir->remove());
        if (setup == "folder")
            QVERIFY(QDir(m_dir->path()).mkdir("Err_Inventaire.txt"));
        if (setup.endsWith("Report"))
            writeFile(reportPath(), kReportHeading + reportLine("Y8"));
        if (setup == "readOnlyReport")
            QVERIFY(QFile::setPermissions(reportPath(), QFileDevice::ReadOwner));
        if (setup.startsWith("readOnlyFolder"))
            QVERIFY(QFile::setPermissions(m_dir->path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner));
        const QByteArray before = readFile(reportPath());

        QCOMPARE(m_lookup->RechercheRef("Z9"), QString());
        QFile::setPermissions(m_dir->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QCOMPARE(readFile(reportPath()), appended ? before + reportLine("Z9") : before);
        QCOMPARE(m_dialogs.events.size(), appended ? 0 : 1);
        QVERIFY(appended
                || m_dialogs.events[0].startsWith("message:" + kLookupFailure
                                                  + "Erreur d'accès au fichier : " + reportPath()));
    }

private:
    QString reportPath() const { return m_executable.beside(QStringLiteral("Err_Inventaire.txt")); }
    std::shared_ptr<FakeDatabase> useArticles(std::vector<std::vector<TextValue>> rows)
    {
        const auto database = std::make_shared<FakeDatabase>(std::move(rows));
        m_lookup->setConnectScen(database);
        return database;
    }

    std::unique_ptr<QTemporaryDir> m_dir;
    Executable m_executable;
    RecordingDialogs m_dialogs;
    std::unique_ptr<ArticleLookup> m_lookup;
};

QTEST_GUILESS_MAIN(TestRechercheRef)
#include "tst_rechercheref.moc"
