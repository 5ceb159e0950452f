// The import run on the reference workload: a count file of 32,767 lines against an Article
// table of 100,000 rows.
//  (a) With an in-process server object, no D-Bus: the whole run, database open and scan
//      included, against its target; then the same run driven from the real window (its
//      status line and bar painted as the operator would see them) against a view that
//      paints nothing.
//  (b) With the reference server over D-Bus, on a private bus that this program starts: the
//      run's time per line, from a bare view and from the window, against a bare round trip
//      of the same InventaireArticle call, measured in the same program, rounds interleaved.
//      The server's journal is off for these figures (no journal directory given); its cost
//      is measured apart.
// The window uses Qt's offscreen platform unless QT_QPA_PLATFORM names another.
#include "app/controls.h"
#include "app/frmmain.h"
#include "bench/benchsupport.h"
#include "import/articleindex.h"
#include "import/inventaire.h"
#include "platform/dbusautomation.h"
#include "tests/support/builtmdbreader.h"
#include "tests/support/fakeimportview.h"
#include "tests/support/recordingdialogs.h"
#include "tests/support/testbus.h"

#include <QApplication>
#include <QDBusObjectPath>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QWindow>

#include <cstdlib>
#include <limits>

namespace {

constexpr int kLines = 32767;
constexpr int kRounds = 3;
constexpr int kClientSample = 10000;
constexpr int kJournalSample = 10000;
const QString kDepot = QStringLiteral("DEP01");

[[noreturn]] void fail(const QString &what)
{
    std::fprintf(stderr, "bench_import : %s\n", qPrintable(what));
    std::exit(1);
}

// The line's article, by code or by barcode, and its quantity; every `unknownEvery`-th line
// names no article.
struct Line
{
    QString code;     // as the count file has it
    QString resolved; // what the lookup gives
    QString quantity; // as the server receives it
};

std::vector<Line> workload(int unknownEvery)
{
    std::vector<Line> lines;
    for (int i = 0; i < kLines; ++i) {
        const int row = static_cast<int>((static_cast<long long>(i) * 7919) % bench::kArticles);
        const QString quantity = i % 4 == 0 ? QStringLiteral("2.5") : QString::number(i % 50 + 1);
        if (unknownEvery > 0 && i % unknownEvery == unknownEvery - 1)
            lines.push_back({QStringLiteral("INCONNU%1").arg(i), QString(), quantity});
        else
            lines.push_back(
                {i % 2 == 0 ? bench::articleCode(row) : bench::articleBarcode(row), bench::articleCode(row), quantity});
    }
    return lines;
}

// Quantities with a decimal point, not a comma: a comma would count as a second item and the
// file would overflow the 16-bit item count.
void writeCountFile(const QString &path, const std::vector<Line> &lines, std::size_t count)
{
    QByteArray bytes;
    for (std::size_t i = 0; i < count; ++i)
        bytes += lines[i].code.toLatin1() + ';' + lines[i].quantity.toLatin1() + ";\r\n";
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        fail(QStringLiteral("impossible d'écrire ") + path);
}

// The least a server object can be: every method gives true.
class NullServer : public AutomationFactory
{
public:
    class Object : public AutomationObject
    {
    public:
        explicit Object(long &calls) : m_calls(calls) {}
        QVariant call(const QString &, QStringList &) override
        {
            ++m_calls;
            return QVariant(true);
        }

    private:
        long &m_calls;
    };

    std::shared_ptr<AutomationObject> createObject(const QString &) override { return std::make_shared<Object>(calls); }

    long calls = 0;
};

struct Paths
{
    QString directory; // stands for the executable's
    QString gestion;
    QString countFile;
};

// One whole import; fails the benchmark unless it ended with the done message and the beep.
void importOnce(AutomationFactory &automation, const Paths &paths)
{
    RecordingDialogs dialogs;
    FakeImportView view;
    view.gestion = paths.gestion;
    view.chemin = paths.countFile;
    Inventaire run(automation, openBuiltMdbDatabase, dialogs, view, {paths.directory, QStringLiteral("bench_import")});
    run.run(QStringLiteral("SOC01"), kDepot, 1);
    if (dialogs.events.value(0) != QStringLiteral("message:Importation d'inventaire terminée ...")
        || dialogs.events.last() != QStringLiteral("beep"))
        fail(QStringLiteral("import inachevé : ") + dialogs.events.join(QStringLiteral(" / ")));
}

// The same import started by "Valider" in the window, as the operator starts it: the settings
// beside the program name the database, the count file is picked, the window is on screen.
// Only the click is timed, by `clock`.
double importFromWindow(AutomationFactory &automation, const Paths &paths,
                        const std::function<double(const std::function<void()> &)> &clock = bench::seconds)
{
    QFile settings(QDir(paths.directory).filePath(QStringLiteral("Parametres.ini")));
    const QByteArray text = "[Societe]\r\nSociete=SOC01\r\nDepot=" + kDepot.toLatin1()
                            + "\r\nGestion=1\r\nGestionPath=" + paths.gestion.toUtf8() + "\r\n";
    if (!settings.open(QIODevice::WriteOnly | QIODevice::Truncate) || settings.write(text) != text.size())
        fail(QStringLiteral("impossible d'écrire ") + settings.fileName());
    settings.close();

    RecordingDialogs dialogs;
    frmmain window({dialogs, automation, openBuiltMdbDatabase, {paths.directory, QStringLiteral("bench_import")}});
    dialogs.fileAnswers = {paths.countFile};
    window.findChild<Toolbar *>(QStringLiteral("TlbFichier"))->button(1)->trigger();
    window.show();
    while (!window.windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    QCoreApplication::processEvents();

    const double time = clock([&] { window.findChild<Toolbar *>(QStringLiteral("TlbPrpp"))->button(1)->trigger(); });
    if (!dialogs.events.contains(QStringLiteral("message:Importation d'inventaire terminée ..."))
        || dialogs.events.last() != QStringLiteral("beep"))
        fail(QStringLiteral("import inachevé depuis la fenêtre : ") + dialogs.events.join(QStringLiteral(" / ")));
    return time;
}

// Bare round trips of InventaireArticle: the message built and sent, the answer awaited;
// nothing else.
class BareObject
{
public:
    BareObject(const QDBusConnection &bus, const QString &progId) : m_bus(bus), m_progId(progId)
    {
        const QDBusMessage reply = m_bus.call(QDBusMessage::createMethodCall(
            progId, QStringLiteral("/"), DBusAutomation::classFactoryInterface(), QStringLiteral("CreateObject")));
        if (reply.type() != QDBusMessage::ReplyMessage)
            fail(QStringLiteral("CreateObject : ") + reply.errorMessage());
        m_server = reply.service();
        m_path = qvariant_cast<QDBusObjectPath>(reply.arguments().value(0)).path();
    }
    ~BareObject()
    {
        m_bus.call(QDBusMessage::createMethodCall(m_server, m_path, DBusAutomation::objectInterface(),
                                                  QStringLiteral("Release")));
    }
    BareObject(const BareObject &) = delete;
    BareObject &operator=(const BareObject &) = delete;

    void sendLines(const std::vector<Line> &lines, std::size_t count) const
    {
        for (std::size_t i = 0; i < count; ++i) {
            QDBusMessage message =
                QDBusMessage::createMethodCall(m_server, m_path, m_progId, QStringLiteral("InventaireArticle"));
            message.setArguments({kDepot, lines[i].resolved, lines[i].quantity});
            const QDBusMessage reply = m_bus.call(message, QDBus::Block, std::numeric_limits<int>::max());
            if (reply.type() != QDBusMessage::ReplyMessage)
                fail(QStringLiteral("InventaireArticle : ") + reply.errorMessage());
        }
    }

private:
    QDBusConnection m_bus;
    QString m_progId;
    QString m_server;
    QString m_path;
};

void clientCalls(AutomationFactory &automation, const std::vector<Line> &lines, std::size_t count)
{
    const auto object = automation.createObject(testbus::Kelmar);
    for (std::size_t i = 0; i < count; ++i) {
        QStringList arguments{kDepot, lines[i].resolved, lines[i].quantity};
        object->call(QStringLiteral("InventaireArticle"), arguments);
    }
}

double medianOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setFont(frmmain::applicationFont());
    QTemporaryDir dir;
    Paths paths{dir.path(), dir.filePath(QStringLiteral("gestion.mdb")), dir.filePath(QStringLiteral("comptage.txt"))};
    bench::writeArticles(paths.gestion);
    const std::vector<Line> lines = workload(0);
    writeCountFile(paths.countFile, lines, lines.size());
    std::printf("Article: %d rows; count file: %d lines, %lld bytes\n\n", bench::kArticles, kLines,
                static_cast<long long>(QFile(paths.countFile).size()));

    // (a) No D-Bus.
    NullServer inProcess;
    importOnce(inProcess, paths); // page cache warm
    inProcess.calls = 0;
    const int runs = 7;
    const double whole = bench::median(runs, [&] { importOnce(inProcess, paths); });
    if (inProcess.calls != runs * (kLines + 3L))
        fail(QStringLiteral("appels au serveur : %1").arg(inProcess.calls));
    bench::figure("(a) whole run, in-process server (median of 7)", whole * 1e3, "ms");
    bench::ratio("whole run / 150 ms", whole / 0.150, "< 1: under 150 ms");
    const double scan = bench::median(runs, [&] {
        auto database = openBuiltMdbDatabase(paths.gestion);
        const ArticleIndex index(*database);
        if (index.rowCount() != bench::kArticles)
            fail(QStringLiteral("index incomplet"));
    });
    bench::figure("    of which the database opened and scanned (alone)", scan * 1e3, "ms");
    bench::figure("    the rest: two passes over the file, 32,767 lines", (whole - scan) * 1e3, "ms");
    // Processor time: everything here runs in this process, and the machine may be busy.
    std::vector<double> fakeView;
    std::vector<double> windowView;
    for (int round = 0; round < runs; ++round) {
        fakeView.push_back(bench::cpuSeconds([&] { importOnce(inProcess, paths); }));
        windowView.push_back(importFromWindow(inProcess, paths, bench::cpuSeconds));
    }
    bench::figure("    run driven from the window, CPU (median of 7)", medianOf(windowView) * 1e3, "ms");
    bench::figure("    run with a view that paints nothing, CPU (median of 7)", medianOf(fakeView) * 1e3, "ms");
    bench::ratio("window / view that paints nothing", medianOf(windowView) / medianOf(fakeView), "<= 1.1");

    const std::vector<Line> someUnknown = workload(100);
    Paths unknownPaths = paths;
    unknownPaths.countFile = dir.filePath(QStringLiteral("comptage-inconnus.txt"));
    writeCountFile(unknownPaths.countFile, someUnknown, someUnknown.size());
    const double withUnknown = bench::median(3, [&] {
        QFile::remove(dir.filePath(QStringLiteral("Err_Inventaire.txt")));
        importOnce(inProcess, unknownPaths);
    });
    bench::figure("    the same with 1 % unknown codes (report written)", withUnknown * 1e3, "ms");

    // (b) The reference server on a private bus, its journal off.
    testbus::PrivateBus bus(QStringLiteral(TIRVANO_TEST_BUS_CONFIG), QStringLiteral("bench"));
    if (!bus.isConnected())
        fail(bus.error());
    const QDBusConnection connection = bus.connection();
    if (!testbus::setActivationEnvironment(connection,
                                           {{QStringLiteral("TIRVANO_SERVER_DIR"), QString()},
                                            {QStringLiteral("TIRVANO_SERVER_IDLE_MS"), QStringLiteral("600000")}}))
        fail(QStringLiteral("environnement d'activation refusé"));
    DBusAutomation automation(connection);
    Paths warmPaths = paths;
    warmPaths.countFile = dir.filePath(QStringLiteral("comptage-court.txt"));
    writeCountFile(warmPaths.countFile, lines, 200);
    importOnce(automation, warmPaths); // the server started

    std::vector<double> runPerLine;
    std::vector<double> windowPerLine;
    std::vector<double> bare;
    std::vector<double> client;
    for (int round = 0; round < kRounds; ++round) {
        runPerLine.push_back(bench::seconds([&] { importOnce(automation, paths); }) / kLines);
        windowPerLine.push_back(importFromWindow(automation, paths) / kLines);
        {
            const BareObject object(connection, testbus::Kelmar);
            bare.push_back(bench::seconds([&] { object.sendLines(lines, lines.size()); }) / kLines);
        }
        client.push_back(bench::seconds([&] { clientCalls(automation, lines, kClientSample); }) / kClientSample);
    }
    const double run = medianOf(runPerLine);
    const double trip = medianOf(bare);
    std::printf("\n");
    bench::figure("(b) whole run over D-Bus, per line (median of 3)", run * 1e6, "us");
    bench::figure("    whole run over D-Bus", run * kLines, "s");
    bench::figure("    bare InventaireArticle round trip (median of 3)", trip * 1e6, "us");
    bench::figure("    the client's call(), per call", medianOf(client) * 1e6, "us");
    bench::ratio("run per line / bare round trip", run / trip, "<= 1.2");
    bench::figure("(b) run from the window over D-Bus, per line (median of 3)", medianOf(windowPerLine) * 1e6, "us");
    bench::ratio("window run per line / bare round trip", medianOf(windowPerLine) / trip, "<= 1.1");

    // What the journal would add to each call (one line appended, the file opened and closed
    // each time): the server started again with and without it, rounds interleaved.
    QTemporaryDir journalDir;
    std::vector<double> journalOff;
    std::vector<double> journalOn;
    for (int round = 0; round < kRounds; ++round) {
        for (const bool journal : {false, true}) {
            if (!testbus::killServer(connection, testbus::Kelmar)
                || !testbus::setActivationEnvironment(
                    connection, {{QStringLiteral("TIRVANO_SERVER_DIR"), journal ? journalDir.path() : QString()}}))
                fail(QStringLiteral("serveur non relancé"));
            const BareObject object(connection, testbus::Kelmar);
            (journal ? journalOn : journalOff)
                .push_back(bench::seconds([&] { object.sendLines(lines, kJournalSample); }) / kJournalSample);
        }
    }
    if (QFile(journalDir.filePath(QStringLiteral("journal.jsonl"))).size() == 0)
        fail(QStringLiteral("le serveur n'a rien écrit dans son journal"));
    std::printf("\n");
    bench::figure("    bare round trip, server journal off (median of 3)", medianOf(journalOff) * 1e6, "us");
    bench::figure("    bare round trip, server journal on (median of 3)", medianOf(journalOn) * 1e6, "us");
    bench::ratio("journal on / journal off", medianOf(journalOn) / medianOf(journalOff), "informative");
    return 0;
}
