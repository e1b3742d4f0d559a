// The conversion run over a list: mailboxes per folder, progress, failures, stopping.
#include <QTemporaryDir>
#include <QtTest>
#include <cerrno>
#include <string>
#include <vector>

#include "ConversionRun.h"
#include "RunReport.h"
#include "TestFiles.h"

using namespace tolvik;

namespace {

struct RecordingHost : RunHost {
    std::vector<int> started;
    std::vector<float> percents;
    std::vector<std::string> failed;
    int stopAfter = -1;
    void RowStarted(int row) override { started.push_back(row); }
    void RowFailed(int, const std::string& path, const Failure&) override {
        failed.push_back(path);
    }
    void RowFinished(int, int, float percent) override { percents.push_back(percent); }
    bool StopRequested() override {
        return stopAfter >= 0 && static_cast<int>(started.size()) >= stopAfter;
    }
};

RunSummary RunList(const std::string& output, const std::vector<std::string>& rows, RunHost& host) {
    ConversionRun run(output, host);
    return run.Run(static_cast<int>(rows.size()), [&](int row) { return rows[row]; });
}

}  // namespace

class RunTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void messagesGoToTheMailboxOfTheirFolder() {
        QTemporaryDir dir;
        const QString src = dir.filePath("src/Mail");
        WriteFile(
            src + "/Inbox/a.eml",
            "From: Ann <ann@example.org>\r\nDate: Fri, 5 Mar 2010 09:07:03 +0100\r\n\r\nhi\r\n");
        WriteFile(src + "/Inbox/b.eml",
                  "From: bob@example.org\r\nDate: Sat, 6 Mar 2010 10:00:00 +0000\r\n\r\nyo");
        WriteFile(src + "/Inbox/Work/c.eml",
                  "From: c@example.org\r\nDate: 1 Jan 2001 00:00 GMT\r\n\r\n");
        const std::string out = dir.filePath("out").toStdString();  // no trailing separator
        QVERIFY(QDir().mkpath(dir.filePath("out")));

        RecordingHost host;
        const std::vector<std::string> rows = {(src + "/Inbox/a.eml").toStdString(),
                                               (src + "/Inbox/Work/c.eml").toStdString(),
                                               (src + "/Inbox/b.eml").toStdString()};
        const RunSummary summary = RunList(out, rows, host);

        QCOMPARE(summary.converted, 3);
        QVERIFY(summary.failures.empty());
        QCOMPARE(summary.mailboxesWritten, 2);
        const QString mirrored = dir.filePath("out") + src;
        QCOMPARE(
            ReadAll(mirrored + "/Inbox/Inbox.mbox"),
            QByteArray("From ann@example.org Fri Mar 05 09:07:03 2010\r\n"
                       "From: Ann <ann@example.org>\r\nDate: Fri, 5 Mar 2010 09:07:03 +0100\r\n"
                       "\r\nhi\r\n\r\n"
                       "From bob@example.org Sat Mar 06 10:00:00 2010\r\n"
                       "From: bob@example.org\r\nDate: Sat, 6 Mar 2010 10:00:00 +0000\r\n\r\nyo\r\n"
                       "\r\n"));
        QCOMPARE(ReadAll(mirrored + "/Inbox/Work/Work.mbox"),
                 QByteArray("From c@example.org Mon Jan 01 00:00:00 2001\r\n"
                            "From: c@example.org\r\nDate: 1 Jan 2001 00:00 GMT\r\n\r\n\r\n"));

        // Progress: rows in order, single-precision percentages, the last one 100.
        QCOMPARE(host.started, (std::vector<int>{0, 1, 2}));
        QCOMPARE(host.percents.size(), std::size_t(3));
        QCOMPARE(host.percents[0], static_cast<float>(100.0 / 3));
        QVERIFY(host.percents[0] != 33.0f);
        QCOMPARE(host.percents[2], 100.0f);

        // A second run appends every record again.
        const QByteArray once = ReadAll(mirrored + "/Inbox/Inbox.mbox");
        RecordingHost again;
        RunList(out, rows, again);
        QCOMPARE(ReadAll(mirrored + "/Inbox/Inbox.mbox"), once + once);
    }

    void failingRowsAreSkippedAndReported() {
        QTemporaryDir dir;
        WriteFile(dir.filePath("src/A/ok1.eml"), "From: a@x\r\n\r\none");
        WriteFile(dir.filePath("src/A/ok2.eml"), "From: a@x\r\n\r\ntwo");
        QVERIFY(QDir().mkpath(dir.filePath("src/A/folder.eml")));
        WriteFile(dir.filePath("src/B/b.eml"), "From: b@x\r\n\r\nb");
        const QString out = dir.filePath("out");
        // The mirrored folder of B cannot be created: a file stands in its place.
        WriteFile(out + dir.filePath("src/B"), "in the way");

        RecordingHost host;
        const std::vector<std::string> rows = {
            dir.filePath("src/A/ok1.eml").toStdString(),
            dir.filePath("src/A/missing.eml").toStdString(),
            dir.filePath("src/A/folder.eml").toStdString(),
            dir.filePath("src/B/b.eml").toStdString(),
            dir.filePath("src/A/ok2.eml").toStdString(),
        };
        const RunSummary summary = RunList(out.toStdString(), rows, host);
        QCOMPARE(summary.converted, 2);
        QCOMPARE(summary.failures.size(), std::size_t(3));
        QCOMPARE(host.percents.size(), std::size_t(5));  // progress moves for failed rows too
        QCOMPARE(host.failed, (std::vector<std::string>{rows[1], rows[2], rows[3]}));
        const QByteArray mbox = ReadAll(out + dir.filePath("src/A") + "/A.mbox");
        QVERIFY(mbox.contains("\r\none\r\n\r\n"));
        QVERIFY(mbox.endsWith("\r\ntwo\r\n\r\n"));

        const QString report = QString::fromStdString(FailureReportText(summary));
        QVERIFY2(report.startsWith("3 of 5 messages could not be converted"), qPrintable(report));
        for (int i = 1; i <= 3; ++i) {
            QVERIFY(report.contains(QString::fromStdString(rows[i]) + ": "));
        }
        QVERIFY(!report.contains("more"));
    }

    void reportListsTenAndCountsTheRest() {
        RunSummary summary;
        summary.rowCount = 20;
        for (int i = 0; i < 13; ++i) {
            summary.failures.push_back(
                {"/m/" + std::to_string(i) + ".eml", Failure::System(Stage::ReadMessage, ENOENT)});
        }
        const QString report = QString::fromStdString(FailureReportText(summary));
        QVERIFY(report.startsWith("13 of 20 messages could not be converted"));
        QVERIFY(report.contains("/m/9.eml: could not read the message: it does not exist"));
        QVERIFY(!report.contains("/m/10.eml"));
        QVERIFY(report.contains("3 more"));
        QVERIFY(FailureReportText(RunSummary{}).empty());
    }

    void stopRequestEndsAfterTheCurrentRecord() {
        QTemporaryDir dir;
        std::vector<std::string> rows;
        for (int i = 0; i < 5; ++i) {
            const QString path = dir.filePath(QStringLiteral("src/m%1.eml").arg(i));
            WriteFile(path, "From: a@x\r\n\r\nbody");
            rows.push_back(path.toStdString());
        }
        RecordingHost host;
        host.stopAfter = 2;
        const RunSummary summary = RunList(dir.filePath("out").toStdString(), rows, host);
        QVERIFY(summary.stopped);
        QCOMPARE(summary.converted, 2);
        const QByteArray mbox = ReadAll(dir.filePath("out") + dir.filePath("src") + "/src.mbox");
        QCOMPARE(mbox.count("From a@x "), 2);
    }

    void blanksAroundAListedPath() {
        QTemporaryDir dir;
        WriteFile(dir.filePath("src/a.eml"), "From: a@x\r\n\r\nA");
        WriteFile(dir.filePath("src/ b.eml"), "From: b@x\r\n\r\nB");
        RecordingHost host;
        const RunSummary summary = RunList(dir.filePath("out").toStdString(),
                                           {"  " + dir.filePath("src/a.eml").toStdString() + " ",
                                            dir.filePath("src/ b.eml").toStdString(), "   "},
                                           host);
        QCOMPARE(summary.converted, 2);
        QCOMPARE(summary.failures.size(), std::size_t(1));  // the row of blanks names no file
        const QByteArray mbox = ReadAll(dir.filePath("out") + dir.filePath("src") + "/src.mbox");
        QVERIFY(mbox.contains("\r\nA\r\n\r\n"));
        QVERIFY(mbox.contains("\r\nB\r\n\r\n"));
    }
};

QTEST_APPLESS_MAIN(RunTest)
#include "test_core_run.moc"
