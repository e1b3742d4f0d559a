#include "HelpViewer.h"

#include <chm_lib.h>

#include <QAction>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QKeySequence>
#include <QPointer>
#include <QRegularExpression>
#include <QSplitter>
#include <QStyle>
#include <QTextBrowser>
#include <QToolBar>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>
#include <memory>
#include <optional>

// The pictures are compiled into this library; registering them needs a call from outside
// any namespace.
static void RegisterPictures() {
    Q_INIT_RESOURCE(tolvik_pictures);
}

namespace tolvik {

namespace {

constexpr char kScheme[] = "chm";
constexpr int kLocalRole = Qt::UserRole;

// Pages are addressed as chm:///path/in/archive.html, so that relative links and pictures
// resolve against the page that names them.
QUrl ArchiveUrl(const QString& archivePath) {
    return QUrl(QStringLiteral("chm:///")).resolved(QUrl(archivePath));
}

QString Tr(const char* text) {
    return QCoreApplication::translate("HelpViewer", text);
}

QString HtmlEscaped(const QString& text) {
    return text.toHtmlEscaped();
}

QString DecodeEntities(QString text) {
    text.replace(QStringLiteral("&quot;"), QStringLiteral("\""), Qt::CaseInsensitive);
    text.replace(QStringLiteral("&#39;"), QStringLiteral("'"));
    text.replace(QStringLiteral("&lt;"), QStringLiteral("<"), Qt::CaseInsensitive);
    text.replace(QStringLiteral("&gt;"), QStringLiteral(">"), Qt::CaseInsensitive);
    text.replace(QStringLiteral("&amp;"), QStringLiteral("&"), Qt::CaseInsensitive);
    return text;
}

// A compiled HTML help file opened with chmlib.
class ChmArchive {
public:
    explicit ChmArchive(const QString& path) {
        const QByteArray native = QFile::encodeName(path);
        file_ = chm_open(native.constData());
        if (file_ != nullptr) {
            ReadSystemFile();
        }
    }
    ~ChmArchive() {
        if (file_ != nullptr) {
            chm_close(file_);
        }
    }
    ChmArchive(const ChmArchive&) = delete;
    ChmArchive& operator=(const ChmArchive&) = delete;

    bool IsOpen() const { return file_ != nullptr; }

    // An object of the archive by its path ("/index.html"); nothing when it is not there
    // or cannot be read whole.
    std::optional<QByteArray> Read(const QString& objectPath) const {
        if (file_ == nullptr || objectPath.isEmpty() || objectPath.endsWith(QLatin1Char('/'))) {
            return std::nullopt;
        }
        QString path = objectPath;
        if (!path.startsWith(QLatin1Char('/'))) {
            path.prepend(QLatin1Char('/'));
        }
        const QByteArray name = path.toUtf8();
        chmUnitInfo unit{};
        if (chm_resolve_object(file_, name.constData(), &unit) != CHM_RESOLVE_SUCCESS) {
            return std::nullopt;
        }
        constexpr LONGUINT64 kLargest = 64 * 1024 * 1024;
        if (unit.length > kLargest) {
            return std::nullopt;
        }
        QByteArray data(static_cast<qsizetype>(unit.length), Qt::Uninitialized);
        if (unit.length == 0) {
            return data;
        }
        const LONGINT64 got =
            chm_retrieve_object(file_, &unit, reinterpret_cast<unsigned char*>(data.data()), 0,
                                static_cast<LONGINT64>(unit.length));
        if (got != static_cast<LONGINT64>(unit.length)) {
            return std::nullopt;
        }
        return data;
    }

    // Every normal file of the archive, in the archive's order.
    QStringList Files() const {
        QStringList files;
        if (file_ != nullptr) {
            chm_enumerate(
                file_, CHM_ENUMERATE_NORMAL | CHM_ENUMERATE_FILES,
                [](chmFile*, chmUnitInfo* unit, void* context) {
                    static_cast<QStringList*>(context)->append(QString::fromUtf8(unit->path));
                    return CHM_ENUMERATOR_CONTINUE;
                },
                &files);
        }
        return files;
    }

    QString Title() const { return title_; }
    QString DefaultTopic() const { return defaultTopic_; }
    QString ContentsFile() const { return contentsFile_; }

private:
    // The #SYSTEM file: a version number, then records of a 16-bit code, a 16-bit length
    // and that many bytes. Code 0 names the contents file, 2 the default topic, 3 the title.
    void ReadSystemFile() {
        const std::optional<QByteArray> system = Read(QStringLiteral("/#SYSTEM"));
        if (!system) {
            return;
        }
        const QByteArray& bytes = *system;
        auto u16 = [&bytes](qsizetype at) {
            return static_cast<int>(static_cast<unsigned char>(bytes[at])) |
                   (static_cast<int>(static_cast<unsigned char>(bytes[at + 1])) << 8);
        };
        qsizetype at = 4;
        while (at + 4 <= bytes.size()) {
            const int code = u16(at);
            const int length = u16(at + 2);
            at += 4;
            if (at + length > bytes.size()) {
                break;
            }
            QByteArray value = bytes.mid(at, length);
            const qsizetype nul = value.indexOf('\0');
            if (nul >= 0) {
                value.truncate(nul);
            }
            // Help compilers write these strings in the Windows code page of the manual's
            // language; the text of Tolvik's manual is plain ASCII.
            const QString text = QString::fromLatin1(value).trimmed();
            switch (code) {
                case 0:
                    contentsFile_ = text;
                    break;
                case 2:
                    defaultTopic_ = text;
                    break;
                case 3:
                    title_ = text;
                    break;
                default:
                    break;
            }
            at += length;
        }
    }

    chmFile* file_ = nullptr;
    QString title_;
    QString defaultTopic_;
    QString contentsFile_;
};

bool IsPage(const QString& path) {
    return path.endsWith(QStringLiteral(".html"), Qt::CaseInsensitive) ||
           path.endsWith(QStringLiteral(".htm"), Qt::CaseInsensitive);
}

// The text browser reads every page, picture and style sheet from the archive.
class ChmBrowser : public QTextBrowser {
public:
    explicit ChmBrowser(QWidget* parent) : QTextBrowser(parent) {}

    void SetArchive(const ChmArchive* archive) { archive_ = archive; }

    QVariant loadResource(int type, const QUrl& name) override {
        QUrl url = name;
        if (url.isRelative()) {
            const QUrl base = source().isEmpty() ? QUrl(QStringLiteral("chm:///")) : source();
            url = base.resolved(name);
        }
        if (archive_ == nullptr || url.scheme() != QLatin1String(kScheme)) {
            // The manual reads nothing from outside itself.
            return {};
        }
        const QString path = url.path(QUrl::FullyDecoded);
        if (const std::optional<QByteArray> data = archive_->Read(path)) {
            return *data;
        }
        if (type == QTextDocument::HtmlResource) {
            return QStringLiteral(
                       "<html><head><title>Page not found</title></head><body>"
                       "<h2>Page not found</h2><p>The page %1 is not in the help manual.</p>"
                       "</body></html>")
                .arg(HtmlEscaped(path));
        }
        return {};
    }

private:
    const ChmArchive* archive_ = nullptr;
};

}  // namespace

class HelpViewer : public QWidget {
public:
    explicit HelpViewer(QWidget* owner) : QWidget(owner, Qt::Window) {
        setObjectName(QStringLiteral("HelpViewer"));
        setAttribute(Qt::WA_DeleteOnClose);
        setWindowIcon(TolvikIcon());
        setWindowTitle(Tr("Tolvik Help"));

        auto* toolBar = new QToolBar(this);
        toolBar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
        back_ = toolBar->addAction(style()->standardIcon(QStyle::SP_ArrowBack), Tr("&Back"));
        back_->setShortcut(QKeySequence::Back);
        back_->setEnabled(false);
        forward_ =
            toolBar->addAction(style()->standardIcon(QStyle::SP_ArrowForward), Tr("&Forward"));
        forward_->setShortcut(QKeySequence::Forward);
        forward_->setEnabled(false);
        home_ = toolBar->addAction(style()->standardIcon(QStyle::SP_DirHomeIcon), Tr("&Home"));
        home_->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Home));
        auto* close = new QAction(Tr("Close"), this);
        close->setShortcuts({QKeySequence(Qt::Key_Escape), QKeySequence::Close});
        addAction(close);

        contents_ = new QTreeWidget(this);
        contents_->setObjectName(QStringLiteral("HelpContents"));
        contents_->setHeaderHidden(true);
        contents_->setColumnCount(1);
        browser_ = new ChmBrowser(this);
        browser_->setObjectName(QStringLiteral("HelpBrowser"));
        browser_->setOpenLinks(false);

        auto* splitter = new QSplitter(Qt::Horizontal, this);
        splitter->addWidget(contents_);
        splitter->addWidget(browser_);
        splitter->setStretchFactor(0, 0);
        splitter->setStretchFactor(1, 1);
        splitter->setSizes({230, 650});
        splitter->setChildrenCollapsible(false);

        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        layout->addWidget(toolBar);
        layout->addWidget(splitter, 1);
        resize(880, 640);

        connect(back_, &QAction::triggered, browser_, &QTextBrowser::backward);
        connect(forward_, &QAction::triggered, browser_, &QTextBrowser::forward);
        connect(home_, &QAction::triggered, this, &HelpViewer::GoHome);
        connect(close, &QAction::triggered, this, &QWidget::close);
        connect(browser_, &QTextBrowser::backwardAvailable, back_, &QAction::setEnabled);
        connect(browser_, &QTextBrowser::forwardAvailable, forward_, &QAction::setEnabled);
        connect(browser_, &QTextBrowser::anchorClicked, this, &HelpViewer::FollowLink);
        connect(browser_, &QTextBrowser::sourceChanged, this, &HelpViewer::MarkCurrentTopic);
        connect(contents_, &QTreeWidget::itemClicked, this, &HelpViewer::OpenTopic);
        connect(contents_, &QTreeWidget::itemActivated, this, &HelpViewer::OpenTopic);
    }

    ~HelpViewer() override { browser_->SetArchive(nullptr); }

    // Opens the manual at `path` (again, when it was open already but had failed or is
    // another file) and shows its default topic.
    void OpenManual(const QString& path) {
        if (archive_ && archive_->IsOpen() && path == path_ && !home_url_.isEmpty()) {
            GoHome();
            return;
        }
        browser_->SetArchive(nullptr);
        archive_ = std::make_unique<ChmArchive>(path);
        path_ = path;
        contents_->clear();
        browser_->clear();
        browser_->clearHistory();
        if (!archive_->IsOpen()) {
            ShowFailure(path, ReasonForFailure(path));
            return;
        }
        browser_->SetArchive(archive_.get());
        const QString topic = FindDefaultTopic();
        home_url_ = ArchiveUrl(topic);
        if (topic.isEmpty() || !archive_->Read(home_url_.path())) {
            ShowFailure(path, Tr("It holds no page to show."));
            return;
        }
        if (!archive_->Title().isEmpty()) {
            setWindowTitle(archive_->Title());
        }
        FillContents();
        contents_->setVisible(contents_->topLevelItemCount() > 0);
        home_->setEnabled(true);
        browser_->setSource(home_url_);
    }

private:
    void GoHome() {
        if (home_url_.isValid() && !home_url_.isEmpty()) {
            browser_->setSource(home_url_);
        }
    }

    void FollowLink(const QUrl& link) {
        const QUrl url = link.isRelative() ? browser_->source().resolved(link) : link;
        if (url.scheme() == QLatin1String(kScheme)) {
            browser_->setSource(url);
        } else if (url.scheme() == QLatin1String("http") ||
                   url.scheme() == QLatin1String("https") ||
                   url.scheme() == QLatin1String("mailto")) {
            QDesktopServices::openUrl(url);
        }
    }

    void OpenTopic(QTreeWidgetItem* item) {
        const QString local = item != nullptr ? item->data(0, kLocalRole).toString() : QString();
        if (!local.isEmpty()) {
            browser_->setSource(ArchiveUrl(local));
        }
    }

    // Highlights the contents entry of the page being shown, when it has one.
    void MarkCurrentTopic(const QUrl& url) {
        const QString path = url.path();
        for (QTreeWidgetItemIterator it(contents_); *it != nullptr; ++it) {
            const QUrl local = ArchiveUrl((*it)->data(0, kLocalRole).toString());
            if (local.path() == path) {
                const QSignalBlocker blocker(contents_);
                contents_->setCurrentItem(*it);
                return;
            }
        }
    }

    QString FindDefaultTopic() const {
        const QString named = archive_->DefaultTopic();
        if (!named.isEmpty() && archive_->Read(ArchiveUrl(named).path())) {
            return named;
        }
        const QStringList files = archive_->Files();
        for (const char* usual : {"/index.html", "/index.htm", "/default.html", "/default.htm"}) {
            for (const QString& file : files) {
                if (file.compare(QLatin1String(usual), Qt::CaseInsensitive) == 0) {
                    return file;
                }
            }
        }
        // The first page of the contents, else the first page of the archive by name.
        const QList<QPair<QString, QString>> entries = ContentsEntries();
        for (const auto& entry : entries) {
            if (!entry.second.isEmpty()) {
                return entry.second;
            }
        }
        QStringList pages;
        std::copy_if(files.cbegin(), files.cend(), std::back_inserter(pages), IsPage);
        pages.sort(Qt::CaseInsensitive);
        return pages.isEmpty() ? QString() : pages.first();
    }

    QString ContentsFilePath() const {
        if (!archive_->ContentsFile().isEmpty()) {
            return archive_->ContentsFile();
        }
        for (const QString& file : archive_->Files()) {
            if (file.endsWith(QStringLiteral(".hhc"), Qt::CaseInsensitive)) {
                return file;
            }
        }
        return {};
    }

    // The contents file is an HTML list of <OBJECT type="text/sitemap"> entries, each with
    // a Name and a Local parameter, nested with <UL>. Yields (depth, name, local) in order
    // through `add`.
    template <typename Add>
    void ParseContents(Add add) const {
        const QString file = ContentsFilePath();
        const std::optional<QByteArray> data =
            file.isEmpty() ? std::nullopt : archive_->Read(ArchiveUrl(file).path());
        if (!data) {
            return;
        }
        const QString text = QString::fromLatin1(*data);
        static const QRegularExpression tag(
            QStringLiteral(R"(<\s*(/?)\s*(ul|object|param)\b([^>]*)>)"),
            QRegularExpression::CaseInsensitiveOption);
        static const QRegularExpression attribute(
            QStringLiteral(R"re((\w+)\s*=\s*(?:"([^"]*)"|'([^']*)'|([^\s>]+)))re"));
        int depth = 0;
        bool inEntry = false;
        QString name;
        QString local;
        for (auto it = tag.globalMatch(text); it.hasNext();) {
            const QRegularExpressionMatch match = it.next();
            const bool closing = !match.captured(1).isEmpty();
            const QString kind = match.captured(2).toLower();
            QHash<QString, QString> attributes;
            for (auto at = attribute.globalMatch(match.captured(3)); at.hasNext();) {
                const QRegularExpressionMatch a = at.next();
                const QString value = !a.captured(2).isNull()   ? a.captured(2)
                                      : !a.captured(3).isNull() ? a.captured(3)
                                                                : a.captured(4);
                attributes.insert(a.captured(1).toLower(), DecodeEntities(value));
            }
            if (kind == QLatin1String("ul")) {
                depth = std::max(0, depth + (closing ? -1 : 1));
            } else if (kind == QLatin1String("object")) {
                if (!closing) {
                    inEntry = attributes.value(QStringLiteral("type"))
                                  .compare(QLatin1String("text/sitemap"), Qt::CaseInsensitive) == 0;
                    name.clear();
                    local.clear();
                } else if (inEntry) {
                    inEntry = false;
                    if (!name.isEmpty()) {
                        add(std::max(1, depth), name, local);
                    }
                }
            } else if (inEntry && !closing) {
                const QString param = attributes.value(QStringLiteral("name")).toLower();
                if (param == QLatin1String("name")) {
                    name = attributes.value(QStringLiteral("value"));
                } else if (param == QLatin1String("local")) {
                    local = attributes.value(QStringLiteral("value"));
                }
            }
        }
    }

    QList<QPair<QString, QString>> ContentsEntries() const {
        QList<QPair<QString, QString>> entries;
        ParseContents([&entries](int, const QString& name, const QString& local) {
            entries.append({name, local});
        });
        return entries;
    }

    void FillContents() {
        // parents[d] is the latest entry at depth d + 1: the one deeper entries go beneath.
        QList<QTreeWidgetItem*> parents;
        ParseContents([this, &parents](int depth, const QString& name, const QString& local) {
            while (parents.size() > depth - 1) {
                parents.removeLast();
            }
            QTreeWidgetItem* parent = nullptr;
            for (int d = static_cast<int>(parents.size()) - 1; d >= 0 && parent == nullptr; --d) {
                parent = parents[d];
            }
            auto* item =
                parent != nullptr ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(contents_);
            item->setText(0, name);
            item->setData(0, kLocalRole, local);
            while (parents.size() < depth - 1) {
                parents.append(nullptr);
            }
            parents.append(item);
        });
        contents_->expandAll();
    }

    QString ReasonForFailure(const QString& path) const {
        const QFileInfo info(path);
        if (!info.exists()) {
            return Tr(
                "There is no file of that name; installing Tolvik again puts the manual "
                "back beside the program.");
        }
        if (info.isDir()) {
            return Tr("It is a folder, not a help file.");
        }
        return Tr("The file is not a compiled help file (.chm) or cannot be read.");
    }

    void ShowFailure(const QString& path, const QString& reason) {
        contents_->hide();
        home_->setEnabled(false);
        home_url_ = QUrl();
        browser_->setHtml(
            QStringLiteral("<h2>%1</h2><p>%2</p><p>%3</p>")
                .arg(HtmlEscaped(Tr("Tolvik Help")),
                     HtmlEscaped(Tr("The help manual could not be opened: %1").arg(path)),
                     HtmlEscaped(reason)));
    }

    ChmBrowser* browser_ = nullptr;
    QTreeWidget* contents_ = nullptr;
    QAction* back_ = nullptr;
    QAction* forward_ = nullptr;
    QAction* home_ = nullptr;
    std::unique_ptr<ChmArchive> archive_;
    QString path_;
    QUrl home_url_;
};

QString HelpManualPath(const QString& executableFolder, PathStyle style) {
    const QString name = QLatin1String(kHelpManualFileName);
    if (executableFolder.isEmpty()) {
        return name;
    }
    const QChar separator = QLatin1Char(SeparatorOf(style));
    const bool endsWithSeparator =
        executableFolder.endsWith(separator) ||
        (style == PathStyle::Windows && executableFolder.endsWith(QLatin1Char('/')));
    return endsWithSeparator ? executableFolder + name : executableFolder + separator + name;
}

void ShowHelpManual(QWidget* owner, const QString& chmPath) {
    // A viewer without an owner is kept here; one with an owner is the owner's child.
    static QPointer<HelpViewer> unowned;
    HelpViewer* viewer = unowned.data();
    if (owner != nullptr) {
        viewer = nullptr;
        for (QObject* child : owner->children()) {
            if (auto* found = dynamic_cast<HelpViewer*>(child)) {
                viewer = found;
                break;
            }
        }
    }
    if (viewer == nullptr) {
        viewer = new HelpViewer(owner);
        if (owner == nullptr) {
            unowned = viewer;
        }
    }
    viewer->OpenManual(chmPath);
    viewer->show();
    if (viewer->isMinimized()) {
        viewer->showNormal();
    }
    viewer->raise();
    viewer->activateWindow();
}

QIcon TolvikIcon() {
    RegisterPictures();
    QIcon icon;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/tolvik/icons/tolvik-%1.png").arg(size), QSize(size, size));
    }
    return icon;
}

}  // namespace tolvik
