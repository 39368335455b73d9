#include "console/JournalPage.h"

#include "common/BackgroundWrite.h"
#include "console/CsvExport.h"
#include "console/LineTracePanel.h"

#include <QComboBox>
#include <QDateTime>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>

namespace {

// As often as the link's refresh.
constexpr int kShowWaitingMs = 250;

namespace text {
const QString filter = QStringLiteral("Покажи:");
const QString exportCaption = QStringLiteral("Експорт на журнала");
} // namespace text
} // namespace

JournalPage::JournalPage(const TLineLog& lines, QWidget* parent)
    : QWidget(parent)
{
    setObjectName(QStringLiteral("Journal"));
    saveFileName = [this](const QString& caption, const QString& filter) {
        return QFileDialog::getSaveFileName(this, caption, QString(), filter);
    };
    model_ = new TJournalModel(this);
    // The link's refresh shows new rows a few times a second while a port is open; rows that
    // come with no port open (a capture stored after the close, a replay's, the archive's own)
    // are shown as soon.
    auto* showWaiting = new QTimer(this);
    showWaiting->setSingleShot(true);
    showWaiting->setInterval(kShowWaitingMs);
    connect(showWaiting, &QTimer::timeout, this, &JournalPage::refresh);
    connect(model_, &TJournalModel::rowsWaiting, showWaiting, [showWaiting] {
        if (!showWaiting->isActive())
            showWaiting->start();
    });
    PointerOverList = [this] { return JournalList->viewport()->underMouse(); };
    exportRows = [this](TJournalFilter, const QString& path, std::function<void(const QString&)> done) {
        writeFileInBackground(this, path, journalCsv(model_->matching()), std::move(done));
    };

    JournalFilter = new QComboBox(this);
    JournalFilter->setObjectName(QStringLiteral("JournalFilter"));
    JournalFilter->addItems(journalFilterCaptions());
    ExportJournal = new QPushButton(csv_export::buttonCaption(), this);
    ExportJournal->setObjectName(QStringLiteral("ExportJournal"));
    ExportJournal->setAutoDefault(false);

    JournalList = new QTableView(this);
    JournalList->setObjectName(QStringLiteral("JournalList"));
    JournalList->setModel(model_);
    JournalList->setSelectionBehavior(QAbstractItemView::SelectRows);
    JournalList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    JournalList->setWordWrap(false);
    JournalList->verticalHeader()->hide();
    JournalList->verticalHeader()->setDefaultSectionSize(18);
    JournalList->horizontalHeader()->setStretchLastSection(true);
    JournalList->setColumnWidth(TJournalModel::ColTime, 150);
    JournalList->setColumnWidth(TJournalModel::ColKind, 80);
    JournalList->setColumnWidth(TJournalModel::ColSubject, 110);
    JournalList->setColumnWidth(TJournalModel::ColValue, 80);
    // The sentence keeps the room it had; the origin (mostly empty) takes what is left.
    JournalList->setColumnWidth(TJournalModel::ColText, 420);

    Inspector = new TLineInspectorPanel(lines, this);
    Inspector->saveFileName = [this](const QString& caption, const QString& filter) {
        return saveFileName ? saveFileName(caption, filter) : QString();
    };
    Inspector->errorReport = [this](const QString& message) {
        if (errorReport)
            errorReport(message);
    };

    connect(JournalFilter, &QComboBox::currentIndexChanged, this, [this](int index) {
        const auto filter = TJournalFilter(std::max(index, 0));
        model_->setFilter(filter);
        emit filterChanged(filter);
    });
    connect(ExportJournal, &QPushButton::clicked, this, &JournalPage::exportCsv);
    connect(JournalList, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (!index.isValid())
            return;
        const TJournalRow& row = model_->row(index.row());
        bool ok = false;
        const qint64 id = row.subject.toLongLong(&ok);
        if (row.kind == QStringLiteral("capture") && ok)
            emit showCapture(id);
        else if (row.kind == QStringLiteral("event"))
            emit showEventCapture(row.subject, row.time);
    });
    // One time line: the row chosen in the journal shows its moment in the line inspector.
    connect(JournalList->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
        [this](const QModelIndex& current) {
            if (!current.isValid())
                return;
            const QDateTime t = QDateTime::fromString(model_->row(current.row()).time, Qt::ISODateWithMs);
            if (t.isValid())
                Inspector->showMoment(t.toMSecsSinceEpoch());
        });

    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel(text::filter, this));
    bar->addWidget(JournalFilter);
    bar->addStretch(1);
    bar->addWidget(ExportJournal);
    auto* top = new QWidget(this);
    auto* topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->addLayout(bar);
    topLayout->addWidget(JournalList, 1);

    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(top);
    split->addWidget(Inspector);
    split->setStretchFactor(0, 1);
    split->setStretchFactor(1, 1);
    split->setChildrenCollapsible(false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(split);
}

void JournalPage::refresh()
{
    QScrollBar* bar = JournalList->verticalScrollBar();
    // At the top with nobody at the list, new rows appear there; otherwise the rows shown stay
    // where they are, so a click lands on the row that was under the pointer.
    const bool follow = bar->value() == bar->minimum() && !(PointerOverList && PointerOverList());
    const QPersistentModelIndex top = JournalList->indexAt(QPoint(1, 1));
    model_->flush();
    if (follow) {
        JournalList->scrollToTop();
    } else if (top.isValid()) {
        JournalList->doItemsLayout();
        JournalList->scrollTo(top, QAbstractItemView::PositionAtTop);
    }
    Inspector->refresh();
}

void JournalPage::selectRow(int row)
{
    if (row < 0 || row >= model_->rowCount())
        return;
    JournalList->selectRow(row);
    JournalList->scrollTo(model_->index(row, 0));
}

void JournalPage::exportCsv()
{
    csv_export::run(this, saveFileName, errorReport, text::exportCaption,
        [this](const QString& path, csv_export::Done done) {
            model_->flush();
            exportRows(model_->filter(), path, std::move(done));
        });
}
