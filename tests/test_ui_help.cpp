// The help manual and its viewer: the manual built into bin/Help-Manual.chm opens at its
// default topic, its links, contents and pictures all resolve inside the manual, and a
// manual that is missing or damaged is reported in the viewer without disturbing the owner.
#include <QAction>
#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextDocument>
#include <QTreeWidget>
#include <QtTest>

#include "HelpViewer.h"

namespace {

QString BuiltManual() {
    return QStringLiteral(TOLVIK_BIN_DIR "/Help-Manual.chm");
}
QString HelpSources() {
    return QStringLiteral(TOLVIK_SOURCE_ROOT "/help");
}

QString ReadText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromUtf8(file.readAll());
}

// The page the project file names as the manual's first page.
QString DefaultTopicOfProject() {
    const QRegularExpression line(QStringLiteral("^Default topic=(.+)$"),
                                  QRegularExpression::MultilineOption);
    return line.match(ReadText(HelpSources() + "/Tolvik.hhp")).captured(1).trimmed();
}

QString TitleOfSourcePage(const QString& page) {
    const QRegularExpression title(QStringLiteral("<title>([^<]*)</title>"),
                                   QRegularExpression::CaseInsensitiveOption);
    return title.match(ReadText(HelpSources() + "/" + page)).captured(1).trimmed();
}

QWidget* ViewerOf(QWidget* owner) {
    for (QObject* child : owner->children()) {
        auto* widget = qobject_cast<QWidget*>(child);
        if (widget != nullptr && widget->objectName() == QLatin1String("HelpViewer")) {
            return widget;
        }
    }
    return nullptr;
}

QTextBrowser* BrowserOf(QWidget* viewer) {
    return viewer != nullptr ? viewer->findChild<QTextBrowser*>(QStringLiteral("HelpBrowser"))
                             : nullptr;
}

QAction* ActionOf(QWidget* viewer, const QString& text) {
    for (QAction* action : viewer->findChildren<QAction*>()) {
        if (action->text() == text) {
            return action;
        }
    }
    return nullptr;
}

struct Anchor {
    QString href;
    int position;
};

QList<Anchor> AnchorsOf(const QTextDocument* document) {
    QList<Anchor> anchors;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            if (format.isAnchor() && !format.anchorHref().isEmpty()) {
                anchors.append({format.anchorHref(), fragment.position()});
            }
        }
    }
    return anchors;
}

QStringList ImagesOf(const QTextDocument* document) {
    QStringList images;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            if (format.isImageFormat()) {
                images.append(format.toImageFormat().name());
            }
        }
    }
    return images;
}

// A page of the manual: what the viewer reads for it is the page's bytes, not the text it
// makes up for a page that the manual lacks.
bool IsPageOfManual(QTextBrowser* browser, const QUrl& url) {
    const QVariant data = browser->loadResource(QTextDocument::HtmlResource, url);
    return data.userType() == QMetaType::QByteArray && !data.toByteArray().isEmpty();
}

}  // namespace

class TestHelp : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() {
        QVERIFY2(QFile::exists(BuiltManual()),
                 "the help manual is built with the project into bin/Help-Manual.chm");
        QVERIFY(!DefaultTopicOfProject().isEmpty());
    }

    void manualPath_data() {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int>("style");
        QTest::addColumn<QString>("expected");
        const int posix = static_cast<int>(tolvik::PathStyle::Posix);
        const int windows = static_cast<int>(tolvik::PathStyle::Windows);
        QTest::newRow("folder") << "/opt/tolvik" << posix << "/opt/tolvik/Help-Manual.chm";
        QTest::newRow("root") << "/" << posix << "/Help-Manual.chm";
        QTest::newRow("folder with separator")
            << "/opt/tolvik/" << posix << "/opt/tolvik/Help-Manual.chm";
        QTest::newRow("backslash is a name character on POSIX")
            << "/opt/a\\" << posix << "/opt/a\\/Help-Manual.chm";
        QTest::newRow("windows folder") << "D:\\Tools" << windows << "D:\\Tools\\Help-Manual.chm";
        QTest::newRow("windows drive root") << "E:\\" << windows << "E:\\Help-Manual.chm";
        QTest::newRow("windows root written with slash")
            << "E:/" << windows << "E:/Help-Manual.chm";
        QTest::newRow("windows network folder")
            << "\\\\srv\\apps\\Tolvik" << windows << "\\\\srv\\apps\\Tolvik\\Help-Manual.chm";
        QTest::newRow("empty folder") << "" << posix << "Help-Manual.chm";
    }

    void manualPath() {
        QFETCH(QString, folder);
        QFETCH(int, style);
        QFETCH(QString, expected);
        QCOMPARE(tolvik::HelpManualPath(folder, static_cast<tolvik::PathStyle>(style)), expected);
    }

    void opensDefaultTopicBesideTheOwner() {
        QWidget owner;
        owner.show();
        tolvik::ShowHelpManual(&owner, BuiltManual());

        QWidget* viewer = ViewerOf(&owner);
        QVERIFY(viewer != nullptr);
        QVERIFY(viewer->isWindow());
        QVERIFY(viewer->isVisible());
        QVERIFY(!viewer->isModal());
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QVERIFY(owner.isEnabled());

        QTextBrowser* browser = BrowserOf(viewer);
        QVERIFY(browser != nullptr);
        const QString topic = DefaultTopicOfProject();
        const QString title = TitleOfSourcePage(topic);
        QVERIFY(!title.isEmpty());
        QCOMPARE(browser->source().path(), "/" + topic);
        QCOMPARE(browser->documentTitle(), title);
        QVERIFY2(browser->toPlainText().contains(title), qPrintable(browser->toPlainText()));
        QVERIFY(!browser->toPlainText().contains(QStringLiteral("could not be opened")));
        // The contents of the manual are shown beside the page.
        auto* contents = viewer->findChild<QTreeWidget*>(QStringLiteral("HelpContents"));
        QVERIFY(contents != nullptr);
        QVERIFY(contents->isVisible());
        QVERIFY(contents->topLevelItemCount() > 0);
    }

    void followsLinkAndComesBack() {
        QWidget owner;
        owner.show();
        tolvik::ShowHelpManual(&owner, BuiltManual());
        QWidget* viewer = ViewerOf(&owner);
        QTextBrowser* browser = BrowserOf(viewer);
        QVERIFY(browser != nullptr);
        QVERIFY(QTest::qWaitForWindowExposed(viewer));
        const QUrl home = browser->source();

        const QList<Anchor> anchors = AnchorsOf(browser->document());
        const auto link = std::find_if(anchors.cbegin(), anchors.cend(), [](const Anchor& a) {
            return a.href == QLatin1String("adding-messages.html");
        });
        QVERIFY2(link != anchors.cend(), "the first page links to adding-messages.html");
        QTextCursor cursor(browser->document());
        cursor.setPosition(link->position + 1);
        browser->ensureCursorVisible();
        browser->setTextCursor(cursor);
        const QPoint inside = browser->cursorRect(cursor).center();
        QTest::mouseClick(browser->viewport(), Qt::LeftButton, {}, inside);

        QTRY_COMPARE(browser->source().path(), QStringLiteral("/adding-messages.html"));
        QCOMPARE(browser->documentTitle(), TitleOfSourcePage("adding-messages.html"));
        QVERIFY(
            browser->toPlainText().contains(QStringLiteral("Add Folder having EML File(s)...")));

        QAction* back = ActionOf(viewer, QStringLiteral("&Back"));
        QVERIFY(back != nullptr);
        QVERIFY(back->isEnabled());
        back->trigger();
        QCOMPARE(browser->source(), home);
        QCOMPARE(browser->documentTitle(), TitleOfSourcePage(DefaultTopicOfProject()));
    }

    void picturesLoadFromTheManual() {
        QWidget owner;
        tolvik::ShowHelpManual(&owner, BuiltManual());
        QTextBrowser* browser = BrowserOf(ViewerOf(&owner));
        QVERIFY(browser != nullptr);
        const QStringList images = ImagesOf(browser->document());
        QVERIFY2(!images.isEmpty(), "the first page shows a picture");
        for (const QString& name : images) {
            const QVariant data = browser->loadResource(QTextDocument::ImageResource, QUrl(name));
            const QImage image = QImage::fromData(data.toByteArray());
            QVERIFY2(!image.isNull(), qPrintable(name));
            QVERIFY(image.width() >= 16);
        }
        // Nothing outside the manual is read, even by a path that exists.
        QVERIFY(
            browser->loadResource(QTextDocument::ImageResource, QUrl::fromLocalFile(BuiltManual()))
                .isNull());
    }

    // Every page reachable from the first one, every link and picture on them, and every
    // entry of the contents lies inside the compiled manual.
    void everyLinkAndContentsEntryResolves() {
        QWidget owner;
        tolvik::ShowHelpManual(&owner, BuiltManual());
        QWidget* viewer = ViewerOf(&owner);
        QTextBrowser* browser = BrowserOf(viewer);
        QVERIFY(browser != nullptr);

        QList<QUrl> queue{browser->source()};
        QSet<QString> seen{browser->source().path()};
        while (!queue.isEmpty()) {
            const QUrl page = queue.takeFirst();
            browser->setSource(page);
            QVERIFY2(IsPageOfManual(browser, page), qPrintable(page.toString()));
            for (const QString& image : ImagesOf(browser->document())) {
                const QUrl url = page.resolved(QUrl(image));
                QVERIFY2(
                    !QImage::fromData(
                         browser->loadResource(QTextDocument::ImageResource, url).toByteArray())
                         .isNull(),
                    qPrintable(url.toString() + " on " + page.toString()));
            }
            for (const Anchor& anchor : AnchorsOf(browser->document())) {
                const QUrl url = page.resolved(QUrl(anchor.href));
                QVERIFY2(IsPageOfManual(browser, url),
                         qPrintable(anchor.href + " on " + page.toString()));
                if (!seen.contains(url.path())) {
                    seen.insert(url.path());
                    queue.append(url.adjusted(QUrl::RemoveFragment));
                }
            }
        }
        QVERIFY(seen.size() > 5);

        auto* contents = viewer->findChild<QTreeWidget*>(QStringLiteral("HelpContents"));
        QVERIFY(contents != nullptr);
        int pages = 0;
        for (QTreeWidgetItemIterator it(contents); *it != nullptr; ++it) {
            QTreeWidgetItem* item = *it;
            if (item->childCount() > 0 && item->data(0, Qt::UserRole).toString().isEmpty()) {
                continue;  // a heading that only groups its entries
            }
            ++pages;
            Q_EMIT contents->itemClicked(item, 0);
            QVERIFY2(IsPageOfManual(browser, browser->source()), qPrintable(item->text(0)));
            QVERIFY2(seen.contains(browser->source().path()),
                     qPrintable(item->text(0) + " is not linked from the pages"));
        }
        QVERIFY(pages > 5);
    }

    void unusableManualIsReportedInTheViewer_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing") << "missing";
        QTest::newRow("a folder") << "folder";
        QTest::newRow("empty file") << "empty";
        QTest::newRow("not a help file") << "text";
        QTest::newRow("cut short") << "truncated";
    }

    void unusableManualIsReportedInTheViewer() {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("Help-Manual.chm"));
        if (kind == QLatin1String("folder")) {
            QVERIFY(QDir(dir.path()).mkdir(QStringLiteral("Help-Manual.chm")));
        } else if (kind != QLatin1String("missing")) {
            QByteArray bytes;
            if (kind == QLatin1String("text")) {
                bytes = "<html><body>Not a compiled manual</body></html>\n";
            } else if (kind == QLatin1String("truncated")) {
                QFile built(BuiltManual());
                QVERIFY(built.open(QIODevice::ReadOnly));
                bytes = built.read(3000);
            }
            QFile file(path);
            QVERIFY(file.open(QIODevice::WriteOnly));
            QCOMPARE(file.write(bytes), bytes.size());
        }

        QWidget owner;
        owner.show();
        tolvik::ShowHelpManual(&owner, path);
        QWidget* viewer = ViewerOf(&owner);
        QVERIFY(viewer != nullptr);
        QVERIFY(viewer->isVisible());
        QTextBrowser* browser = BrowserOf(viewer);
        QVERIFY(browser != nullptr);
        const QString shown = browser->toPlainText();
        QVERIFY2(shown.contains(QStringLiteral("The help manual could not be opened: ") + path),
                 qPrintable(shown));
        QVERIFY(QApplication::activeModalWidget() == nullptr);
        QVERIFY(owner.isEnabled());
        auto* contents = viewer->findChild<QTreeWidget*>(QStringLiteral("HelpContents"));
        QVERIFY(contents != nullptr && !contents->isVisible());
    }

    // One viewer per owner: asking again reuses it, goes back to the first page, and picks
    // up a manual that has appeared since; a closed viewer is gone and a new one opens.
    void oneViewerIsReusedAndRecovers() {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString path = dir.filePath(QStringLiteral("Help-Manual.chm"));
        QWidget owner;
        owner.show();
        tolvik::ShowHelpManual(&owner, path);
        QPointer<QWidget> first = ViewerOf(&owner);
        QVERIFY(first != nullptr);
        QVERIFY(BrowserOf(first)->toPlainText().contains(QStringLiteral("could not be opened")));

        QVERIFY(QFile::copy(BuiltManual(), path));
        tolvik::ShowHelpManual(&owner, path);
        QCOMPARE(ViewerOf(&owner), first.data());
        QTextBrowser* browser = BrowserOf(first);
        const QString topic = "/" + DefaultTopicOfProject();
        QCOMPARE(browser->source().path(), topic);

        browser->setSource(QUrl(QStringLiteral("chm:///limits.html")));
        QCOMPARE(browser->source().path(), QStringLiteral("/limits.html"));
        tolvik::ShowHelpManual(&owner, path);
        QCOMPARE(browser->source().path(), topic);
        int viewers = 0;
        for (QObject* child : owner.children()) {
            viewers += child->objectName() == QLatin1String("HelpViewer") ? 1 : 0;
        }
        QCOMPARE(viewers, 1);

        first->close();
        QTRY_VERIFY(first.isNull());
        tolvik::ShowHelpManual(&owner, path);
        QVERIFY(ViewerOf(&owner) != nullptr);
        QVERIFY(ViewerOf(&owner)->isVisible());
    }

    // Which page a manual opens at: the default topic its #SYSTEM file names, else the first
    // page of its contents, else its first page by name.
    void firstPageOfOtherManuals_data() {
        QTest::addColumn<QByteArray>("options");
        QTest::addColumn<bool>("withContents");
        QTest::addColumn<QString>("expected");
        QTest::newRow("named default topic")
            << QByteArray("Default topic=middle.html\n") << true << "/middle.html";
        QTest::newRow("first page of the contents") << QByteArray() << true << "/start.html";
        QTest::newRow("first page by name") << QByteArray() << false << "/about.html";
    }

    void firstPageOfOtherManuals() {
        QFETCH(QByteArray, options);
        QFETCH(bool, withContents);
        QFETCH(QString, expected);
        const QString chmcmd = QStandardPaths::findExecutable(QStringLiteral("chmcmd"));
        if (chmcmd.isEmpty()) {
            QSKIP("chmcmd (package fp-utils) is needed to compile the test manual");
        }
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        auto write = [&dir](const QString& name, const QByteArray& text) {
            QFile file(dir.filePath(name));
            return file.open(QIODevice::WriteOnly) && file.write(text) == text.size();
        };
        QVERIFY(write("t.hhp", "[OPTIONS]\nCompiled file=t.chm\nTitle=T\n" + options +
                                   (withContents ? "Contents file=t.hhc\n" : "") +
                                   "\n[FILES]\nstart.html\nmiddle.html\nabout.html\n"));
        QVERIFY(write("t.hhc",
                      "<HTML><BODY><UL>\n"
                      "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"Start\">"
                      "<param name=\"Local\" value=\"start.html\"></OBJECT>\n"
                      "<LI><OBJECT type=\"text/sitemap\"><param name=\"Name\" value=\"About\">"
                      "<param name=\"Local\" value=\"about.html\"></OBJECT>\n"
                      "</UL></BODY></HTML>\n"));
        for (const char* page : {"start", "middle", "about"}) {
            QVERIFY(write(QStringLiteral("%1.html").arg(page),
                          QStringLiteral("<html><head><title>%1</title></head><body>%1</body>"
                                         "</html>")
                              .arg(page)
                              .toUtf8()));
        }
        QProcess compile;
        compile.setWorkingDirectory(dir.path());
        compile.start(chmcmd, {QStringLiteral("t.hhp")});
        QVERIFY(compile.waitForFinished(60000));
        QVERIFY2(QFile::exists(dir.filePath("t.chm")), compile.readAll().constData());

        QWidget owner;
        tolvik::ShowHelpManual(&owner, dir.filePath("t.chm"));
        QTextBrowser* browser = BrowserOf(ViewerOf(&owner));
        QVERIFY(browser != nullptr);
        QCOMPARE(browser->source().path(), expected);
        QCOMPARE(browser->documentTitle(), expected.mid(1).section('.', 0, 0));
    }

    void programPicturesAreCompiledIn() {
        const QIcon icon = tolvik::TolvikIcon();
        for (int size : {16, 24, 32, 48, 128, 256}) {
            QVERIFY2(icon.availableSizes().contains(QSize(size, size)),
                     qPrintable(QString::number(size)));
            QCOMPARE(icon.pixmap(QSize(size, size)).size(), QSize(size, size));
        }
        // The window's tick mark: 22 x 22, green on a transparent background.
        const QImage tick(QStringLiteral(":/tolvik/tick.png"));
        QCOMPARE(tick.size(), QSize(22, 22));
        QVERIFY(tick.hasAlphaChannel());
        QCOMPARE(qAlpha(tick.pixel(0, 0)), 0);
        QCOMPARE(qAlpha(tick.pixel(21, 21)), 0);
        int green = 0;
        for (int y = 0; y < 22; ++y) {
            for (int x = 0; x < 22; ++x) {
                const QRgb p = tick.pixel(x, y);
                green += qAlpha(p) == 255 && qGreen(p) > qRed(p) + 60 && qGreen(p) > qBlue(p) + 60;
            }
        }
        QVERIFY(green > 30);
    }
};

QTEST_MAIN(TestHelp)
#include "test_ui_help.moc"
