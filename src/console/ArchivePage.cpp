#include "console/ArchivePage.h"

#include "archive/ArchiveStore.h"
#include "archive/CaptureListModel.h"
#include "common/FileNames.h"
#include "session/EventKinds.h"

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>
#include <utility>

namespace {

// The page's own texts, in one place.
namespace text {
const QString number = QStringLiteral("№");
const QString event = QStringLiteral("Събитие");
const QString filter = QStringLiteral("Събитие:");
const QString allEvents = QStringLiteral("Всички");
const QString started = QStringLiteral("Начало");
const QString points = QStringLiteral("Точки");
const QString peak = QStringLiteral("Пик");
const QString peakToPeak = QStringLiteral("Размах");
const QString rms = QStringLiteral("Ефективна");
const QString frequency = QStringLiteral("Честота");
const QString axes = QStringLiteral("Оси");
const QString port = QStringLiteral("Порт");
const QString note = QStringLiteral("Бележка");
const QString origin = QStringLiteral("Произход");
const QString show = QStringLiteral("Покажи");
const QString hide = QStringLiteral("Скрий");
const QString exportCsv = QStringLiteral("Експорт CSV");
const QString exportComtrade = QStringLiteral("Експорт COMTRADE");
const QString comtrade1999 = QStringLiteral("Експорт COMTRADE 1999 (ASCII)");
const QString comtrade2013 = QStringLiteral("Експорт COMTRADE 2013 (BINARY32, всяка проба точно)");
const QString comtradeTip
    = QStringLiteral("Щракване: COMTRADE 1999 (ASCII). Стрелката: избор между 1999 и 2013 "
                     "(BINARY32, всяка проба точно).");
const QString remove = QStringLiteral("Изтрий");
const QString csvFilter = QStringLiteral("CSV (*.csv);;All (*)");
const QString comtradeFilter = QStringLiteral("COMTRADE (*.cfg);;All (*)");
const QString askDelete = QStringLiteral("Да се изтрие ли запис №%1 от архива?");
const QString opened = QStringLiteral("Архив: %1");
const QString off = QStringLiteral("Архивът е изключен: в настройките няма име на файл.");
const QString failed = QStringLiteral("Архивът %1 не може да се използва: %2. Записите не се пазят; всичко "
                                      "останало работи.");
const QString written = QStringLiteral("Запис №%1 е изнесен в %2.");
const QString notFound = QStringLiteral("Запис №%1 вече го няма в архива.");
const QString refused = QStringLiteral("Запис №%1 не може да се изнесе като COMTRADE: X намалява или е под 0 "
                                       "(скала в средата на записа или отрицателна скала). Като CSV може.");
const QString standsStill
    = QStringLiteral("Запис №%1 не може да се изнесе като COMTRADE: X не расте (времева "
                     "скала 0: точки в един и същи момент). Като CSV може.");
const QString rounded
    = QStringLiteral("Запис №%1 е изнесен в %2, но %3 от %4 проби са закръглени (най-много с "
                     "%5).");
const QString exactIn2013 = QStringLiteral(" Експортът COMTRADE 2013 (BINARY32) ги пази точно.");
const QString writeFailed = QStringLiteral("Грешка при запис на %1: %2");
const QString notWriting = QStringLiteral("Архивът не записва: %1; чакат %2");
const QString cannotShow = QStringLiteral("Записът не може да се покаже: архивът не записва (%1).");
const QString cannotExport = QStringLiteral("Записът не може да се изнесе: архивът не записва (%1).");
const QString importButton = QStringLiteral("Внос");
const QString importTip
    = QStringLiteral("Внос на запис COMTRADE от друг регистратор: .cfg (с .dat до него) или "
                     ".cff. Всеки аналогов канал става отделен запис в архива.");
const QString importCaption = QStringLiteral("Внос на запис COMTRADE");
const QString importFilter = QStringLiteral("COMTRADE (*.cfg *.CFG *.cff *.CFF);;All (*)");
const QString importing = QStringLiteral("Чете се %1…");
const QString imported = QStringLiteral("Внесен е %1: %2 канала, %3 точки (записи №%4).");
const QString importedNothing = QStringLiteral("%1 няма аналогови канали с проби: нищо не е внесено.");
const QString importRefused = QStringLiteral("%1 не е внесен: %2");
const QString damaged = QStringLiteral(" Данните са повредени (%1); внесено е прочетеното.");
const QString cannotImport = QStringLiteral("Не може да се внася: архивът не записва (%1).");
const QString tooMany
    = QStringLiteral("Запис №%1 не е показан: на графиката има вече %2 записа. Скрийте някой от тях.");
} // namespace text

// The filter's event kinds, in the order of the counters.

// Purposes of a capture asked for.
constexpr int kForOverlay = 1;
// Rows stored meanwhile reach the list together.
constexpr int kBatchMs = 100;

QPushButton* button(const char* name, const QString& caption, QWidget* parent)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setAutoDefault(false);
    return b;
}

// The counted event that started the capture; empty for one that no event started.
QString eventOfCapture(const CaptureRow& row)
{
    return row.event;
}

} // namespace

QString archiveNotWritingText(const ArchiveStore& store)
{
    if (store.notWriting().isEmpty())
        return {};
    return text::notWriting.arg(store.notWriting()).arg(store.waiting());
}

TTraceInfo traceInfoOf(const CaptureRow& row)
{
    TTraceInfo info;
    info.id = row.id;
    info.event = eventOfCapture(row);
    info.started = row.started;
    info.port = row.port;
    info.xUnit = row.xTitle;
    info.yUnit = row.yTitle;
    return info;
}

ArchivePage::ArchivePage(ArchiveStore& store, QWidget* parent)
    : QWidget(parent)
    , store_(store)
{
    setObjectName(QStringLiteral("Archive"));
    model_ = new CaptureListModel(
        {text::number, text::event, text::started, text::points, text::peak, text::peakToPeak, text::rms,
            text::frequency, text::axes, text::port, text::note, text::origin},
        this);
    filtered_ = new CaptureFilterModel(this);
    filtered_->setSourceModel(model_);
    filtered_->setSortRole(CaptureListModel::SortRole);

    CaptureFilter = new QComboBox(this);
    CaptureFilter->setObjectName(QStringLiteral("CaptureFilter"));
    CaptureFilter->addItem(text::allEvents);
    for (const TEventKind& kind : kEventKinds)
        CaptureFilter->addItem(QString::fromLatin1(kind.name.data(), qsizetype(kind.name.size())));

    CaptureList = new QTableView(this);
    CaptureList->setObjectName(QStringLiteral("CaptureList"));
    CaptureList->setModel(filtered_);
    CaptureList->setVerticalScrollMode(QAbstractItemView::ScrollPerItem);
    CaptureList->setSelectionBehavior(QAbstractItemView::SelectRows);
    CaptureList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    CaptureList->setEditTriggers(QAbstractItemView::DoubleClicked | QAbstractItemView::EditKeyPressed
        | QAbstractItemView::SelectedClicked);
    CaptureList->verticalHeader()->hide();
    CaptureList->setAlternatingRowColors(true);
    CaptureList->setContextMenuPolicy(Qt::CustomContextMenu);
    QHeaderView* header = CaptureList->horizontalHeader();
    header->setStretchLastSection(true);
    header->setHighlightSections(false);
    // Long sources (an imported record's station and device) are cut, not wrapped.
    CaptureList->setWordWrap(false);
    const int widths[] = {40, 55, 130, 50, 70, 70, 75, 70, 55, 115, 160};
    for (int c = 0; c < int(std::size(widths)); ++c)
        header->resizeSection(c, widths[c]);
    // Newest first until the operator clicks a column (a measure's first click: largest first).
    header->setSortIndicator(CaptureListModel::Id, Qt::DescendingOrder);
    CaptureList->setSortingEnabled(true);

    ShowCapture = button("ShowCapture", text::show, this);
    HideCapture = button("HideCapture", text::hide, this);
    ExportCsv = button("ExportCsv", text::exportCsv, this);
    ExportComtrade = new QToolButton(this);
    ExportComtrade->setObjectName(QStringLiteral("ExportComtrade"));
    ExportComtrade->setText(text::exportComtrade);
    ExportComtrade->setPopupMode(QToolButton::MenuButtonPopup);
    ExportComtrade->setToolTip(text::comtradeTip);
    ExportComtrade->setSizePolicy(ExportCsv->sizePolicy());
    auto* comtradeMenu = new QMenu(ExportComtrade);
    connect(comtradeMenu->addAction(text::comtrade1999), &QAction::triggered, this,
        &ArchivePage::ExportComtradeClick);
    connect(comtradeMenu->addAction(text::comtrade2013), &QAction::triggered, this,
        &ArchivePage::ExportComtrade2013Click);
    ExportComtrade->setMenu(comtradeMenu);
    DeleteCapture = button("DeleteCapture", text::remove, this);
    ImportComtrade = button("ImportComtrade", text::importButton, this);
    ImportComtrade->setToolTip(text::importTip);
    ArchiveStatus = new QLabel(this);
    ArchiveStatus->setObjectName(QStringLiteral("ArchiveStatus"));
    ArchiveStatus->setWordWrap(true);
    ArchiveStatus->setTextInteractionFlags(Qt::TextSelectableByMouse);

    auto* buttons = new QHBoxLayout;
    for (QAbstractButton* b : std::initializer_list<QAbstractButton*>{
             ShowCapture, HideCapture, ExportCsv, ExportComtrade, DeleteCapture})
        buttons->addWidget(b);
    buttons->addWidget(ImportComtrade);
    buttons->addStretch();
    buttons->addWidget(new QLabel(text::filter, this));
    buttons->addWidget(CaptureFilter);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(CaptureList, 1);
    layout->addWidget(ArchiveStatus);

    menu_ = new QMenu(this);
    const std::pair<const QString*, void (ArchivePage::*)()> actions[]
        = {{&text::show, &ArchivePage::ShowCaptureClick}, {&text::hide, &ArchivePage::HideCaptureClick},
            {&text::exportCsv, &ArchivePage::ExportCsvClick},
            {&text::comtrade1999, &ArchivePage::ExportComtradeClick},
            {&text::comtrade2013, &ArchivePage::ExportComtrade2013Click},
            {&text::remove, &ArchivePage::DeleteCaptureClick}};
    for (const auto& [caption, handler] : actions)
        connect(menu_->addAction(*caption), &QAction::triggered, this, handler);

    connect(ShowCapture, &QPushButton::clicked, this, &ArchivePage::ShowCaptureClick);
    connect(HideCapture, &QPushButton::clicked, this, &ArchivePage::HideCaptureClick);
    connect(ExportCsv, &QPushButton::clicked, this, &ArchivePage::ExportCsvClick);
    connect(ExportComtrade, &QToolButton::clicked, this, &ArchivePage::ExportComtradeClick);
    connect(DeleteCapture, &QPushButton::clicked, this, &ArchivePage::DeleteCaptureClick);
    connect(ImportComtrade, &QPushButton::clicked, this, &ArchivePage::ImportComtradeClick);
    connect(CaptureList, &QTableView::customContextMenuRequested, this, [this](const QPoint& at) {
        const QModelIndex index = CaptureList->indexAt(at);
        if (!index.isValid())
            return;
        CaptureList->selectRow(index.row());
        menu_->popup(CaptureList->viewport()->mapToGlobal(at));
    });
    // The note is edited in place; a double click elsewhere shows the capture.
    connect(CaptureList, &QTableView::doubleClicked, this, [this](const QModelIndex& index) {
        if (index.column() != CaptureListModel::Note)
            ShowCaptureClick();
    });
    connect(CaptureList->selectionModel(), &QItemSelectionModel::selectionChanged, this,
        &ArchivePage::updateButtons);
    connect(model_, &QAbstractItemModel::rowsRemoved, this, &ArchivePage::updateButtons);
    connect(model_, &CaptureListModel::noteEdited, &store_, [this](std::int64_t id, const QString& note) {
        store_.ask(SetNote{id, note});
    });

    // The selection is kept by capture number across a new list and a change of the filter.
    PointerOverList = [this] { return CaptureList->viewport()->underMouse(); };
    connect(model_, &QAbstractItemModel::modelAboutToBeReset, this,
        [this] { keptSelection_ = SelectedCapture(); });
    connect(model_, &QAbstractItemModel::modelReset, this, [this] {
        if (keptSelection_ != 0)
            SelectCapture(keptSelection_);
    });
    connect(CaptureFilter, &QComboBox::currentIndexChanged, this, [this](int index) {
        const std::int64_t chosen = SelectedCapture();
        filtered_->setEvent(index <= 0 ? QString() : CaptureFilter->itemText(index));
        if (chosen != 0 && model_->rowAt(model_->rowOf(chosen))
            && filtered_->mapFromSource(model_->index(model_->rowOf(chosen), 0)).isValid())
            SelectCapture(chosen);
        updateButtons();
    });
    connect(filtered_, &QAbstractItemModel::rowsAboutToBeInserted, this,
        [this](const QModelIndex&, int first, int last) { holdStill(first, last); });
    connect(
        filtered_, &QAbstractItemModel::rowsInserted, this, [this](const QModelIndex&, int first, int last) {
            if (!std::exchange(stayPut_, false))
                return;
            // The rows went in above the view: scroll down by as many, so every row shown stays
            // where it was on the screen. The view lays itself out first, so the bar can go that far.
            CaptureList->doItemsLayout();
            QScrollBar* bar = CaptureList->verticalScrollBar();
            bar->setValue(bar->value() + (last - first + 1));
        });

    batch_.setSingleShot(true);
    batch_.setInterval(kBatchMs);
    connect(&batch_, &QTimer::timeout, this, &ArchivePage::applyPending);

    connect(&store_, &ArchiveStore::opened, this,
        [this](const QString& path) { setStatus(text::opened.arg(path)); });
    connect(&store_, &ArchiveStore::failed, this, [this](const QString& message) {
        const QString why = text::failed.arg(store_.path(), message);
        setStatus(why);
        if (Report)
            Report(why);
    });
    connect(&store_, &ArchiveStore::writingChanged, this, &ArchivePage::onWritingChanged);
    onArchiveAnswer<CapturesListed>(store_, this, [this](const CapturesListed& listed) {
        pendingRows_.clear();
        pendingRemoved_.clear();
        model_->setRows(listed.rows);
        updateButtons();
    });
    connect(
        &store_, &ArchiveStore::captureStored, this, [this](const CaptureRow& row, bool) { onStored(row); });
    onArchiveAnswer<CapturesRemoved>(store_, this, [this](const CapturesRemoved& r) { onRemoved(r.ids); });
    onArchiveAnswer<CaptureLoaded>(
        store_, this, [this](const CaptureLoaded& r) { onLoaded(r.capture, r.purpose); });
    onArchiveAnswer<ExportResult>(store_, this, [this](const ExportResult& r) { onExported(r); });
    onArchiveAnswer<ImportResult>(store_, this, [this](const ImportResult& r) { onImported(r); });

    setStatus(text::off);
    updateButtons();
}

void ArchivePage::setStatus(const QString& message)
{
    ArchiveStatus->setText(message);
}

bool ArchivePage::editing() const
{
    const QWidget* focus = QApplication::focusWidget();
    return focus && focus != CaptureList && CaptureList->isAncestorOf(focus);
}

void ArchivePage::holdStill(int first, int)
{
    QScrollBar* bar = CaptureList->verticalScrollBar();
    // At the top with nobody at the list, new captures simply appear there; otherwise rows going
    // in above the first one shown must not push the rest down under the pointer.
    const bool looking = bar->value() > 0 || editing() || (PointerOverList && PointerOverList());
    stayPut_ = looking && first <= bar->value();
}

void ArchivePage::onWritingChanged()
{
    const QString trouble = archiveNotWritingText(store_);
    if (!trouble.isEmpty())
        setStatus(trouble);
    else if (store_.isOn())
        setStatus(text::opened.arg(store_.path()));
}

bool ArchivePage::canRead(const QString& refusal)
{
    if (store_.notWriting().isEmpty())
        return true;
    const QString why = refusal.arg(store_.notWriting());
    setStatus(why);
    if (Report)
        Report(why);
    return false;
}

void ArchivePage::updateButtons()
{
    const std::vector<std::int64_t> chosen = SelectedCaptures();
    for (QAbstractButton* b :
        std::initializer_list<QAbstractButton*>{ShowCapture, ExportCsv, ExportComtrade, DeleteCapture})
        b->setEnabled(!chosen.empty());
    HideCapture->setEnabled(std::any_of(chosen.begin(), chosen.end(),
        [this](std::int64_t id) { return std::find(shown_.begin(), shown_.end(), id) != shown_.end(); }));
}

void ArchivePage::ReferencesChanged(const std::vector<std::int64_t>& shown)
{
    shown_ = shown;
    updateButtons();
}

void ArchivePage::onStored(const CaptureRow& row)
{
    pendingRows_.push_back(row);
    if (!batch_.isActive())
        batch_.start();
}

void ArchivePage::onRemoved(const std::vector<std::int64_t>& ids)
{
    // A deleted capture leaves the chart at once; the list follows with its batch.
    if (HideReferences)
        HideReferences(ids);
    pendingRemoved_.insert(pendingRemoved_.end(), ids.begin(), ids.end());
    if (!batch_.isActive())
        batch_.start();
}

void ArchivePage::applyPending()
{
    const auto rows = std::exchange(pendingRows_, {});
    const auto removed = std::exchange(pendingRemoved_, {});
    model_->apply(rows, removed);
}

void ArchivePage::StoreChanged()
{
    pendingRows_.clear();
    pendingRemoved_.clear();
    model_->setRows({});
    updateButtons();
    if (store_.path().isEmpty())
        setStatus(text::off);
}

std::vector<std::int64_t> ArchivePage::SelectedCaptures() const
{
    // In the list's order, newest first.
    QModelIndexList rows = CaptureList->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
        [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    std::vector<std::int64_t> ids;
    for (const QModelIndex& index : rows) {
        if (const CaptureRow* row = model_->rowAt(filtered_->mapToSource(index).row()))
            ids.push_back(row->id);
    }
    return ids;
}

std::int64_t ArchivePage::SelectedCapture() const
{
    const std::vector<std::int64_t> ids = SelectedCaptures();
    return ids.empty() ? 0 : ids.front();
}

bool ArchivePage::SelectCapture(std::int64_t id)
{
    const int source = model_->rowOf(id);
    if (source < 0)
        return false;
    QModelIndex at = filtered_->mapFromSource(model_->index(source, 0));
    if (!at.isValid()) {
        CaptureFilter->setCurrentIndex(0);
        at = filtered_->mapFromSource(model_->index(source, 0));
    }
    CaptureList->selectRow(at.row());
    CaptureList->scrollTo(at);
    return true;
}

void ArchivePage::ShowCaptureClick()
{
    const std::vector<std::int64_t> ids = SelectedCaptures();
    if (ids.empty() || !canRead(text::cannotShow))
        return;
    for (const std::int64_t id : ids)
        store_.ask(LoadCapture{id, kForOverlay});
}

void ArchivePage::HideCaptureClick()
{
    if (HideReferences)
        HideReferences(SelectedCaptures());
}

void ArchivePage::onLoaded(const StoredCapture& capture, int purpose)
{
    if (purpose != kForOverlay || !ShowReference)
        return;
    if (!ShowReference(capture))
        setStatus(text::tooMany.arg(capture.row.id).arg(shown_.size()));
}

void ArchivePage::exportSelected(ExportFormat format)
{
    const std::int64_t id = SelectedCapture();
    if (!id || !SaveFileDialog || !canRead(text::cannotExport))
        return;
    const bool csv = format == ExportFormat::Csv;
    const QString caption = csv                ? text::exportCsv
        : format == ExportFormat::Comtrade2013 ? text::comtrade2013
                                               : text::comtrade1999;
    const CaptureRow* row = model_->rowAt(model_->rowOf(id));
    const QString name = row ? chartmath::captureFileName(traceInfoOf(*row)) : QString();
    const QString proposed
        = QDir(ExportFolder).filePath(name + (csv ? QStringLiteral(".csv") : QStringLiteral(".cfg")));
    QString path = SaveFileDialog(caption, proposed, csv ? text::csvFilter : text::comtradeFilter);
    if (path.isEmpty())
        return;
    path
        = withExtension(path, csv ? QStringLiteral(".csv") : QStringLiteral(".cfg"), TExtensionRule::AnyCase);
    store_.ask(ExportCapture{id, format, path});
}

void ArchivePage::ExportCsvClick()
{
    exportSelected(ExportFormat::Csv);
}

void ArchivePage::ExportComtradeClick()
{
    exportSelected(ExportFormat::Comtrade);
}

void ArchivePage::ExportComtrade2013Click()
{
    exportSelected(ExportFormat::Comtrade2013);
}

void ArchivePage::onExported(const ExportResult& result)
{
    QString message;
    switch (result.outcome) {
    case ExportOutcome::Written:
        if (result.rounded == 0) {
            message = text::written.arg(result.id).arg(result.path);
            break;
        }
        message = text::rounded.arg(result.id)
                      .arg(result.path)
                      .arg(result.rounded)
                      .arg(result.points)
                      .arg(QLocale().toString(result.largestError, 'g', 3));
        if (result.format == ExportFormat::Comtrade)
            message += text::exactIn2013;
        break;
    case ExportOutcome::NotFound:
        message = text::notFound.arg(result.id);
        break;
    case ExportOutcome::XNotIncreasing:
        message = text::refused.arg(result.id);
        break;
    case ExportOutcome::XStandsStill:
        message = text::standsStill.arg(result.id);
        break;
    case ExportOutcome::WriteFailed:
        message = text::writeFailed.arg(result.path, result.error);
        break;
    }
    setStatus(message);
    if (result.outcome != ExportOutcome::Written && Report)
        Report(message);
    emit exportFinished(result);
}

void ArchivePage::DeleteCaptureClick()
{
    const std::int64_t id = SelectedCapture();
    if (!id)
        return;
    if (Confirm && !Confirm(text::askDelete.arg(id)))
        return;
    store_.ask(::DeleteCapture{id});
}

void ArchivePage::ImportComtradeClick()
{
    if (!OpenFileDialog)
        return;
    if (!store_.isOn()) {
        const QString why
            = store_.failure().isEmpty() ? text::off : text::failed.arg(store_.path(), store_.failure());
        setStatus(why);
        if (Report)
            Report(why);
        return;
    }
    if (!canRead(text::cannotImport))
        return;
    const QString path = OpenFileDialog(text::importCaption, ExportFolder, text::importFilter);
    if (path.isEmpty())
        return;
    setStatus(text::importing.arg(QDir::toNativeSeparators(path)));
    store_.ask(::ImportComtrade{path});
}

void ArchivePage::onImported(const ImportResult& result)
{
    const QString file = QFileInfo(result.path).fileName();
    QString message;
    if (!result.error.isEmpty()) {
        message = text::importRefused.arg(file, result.error);
    } else if (result.ids.empty()) {
        message = text::importedNothing.arg(file);
    } else {
        QStringList numbers;
        for (const std::int64_t id : result.ids)
            numbers << QString::number(id);
        message = text::imported.arg(file)
                      .arg(result.ids.size())
                      .arg(result.points)
                      .arg(numbers.join(QStringLiteral(", №")));
        // The new captures are listed at once and the first is chosen, ready for "Покажи".
        applyPending();
        SelectCapture(result.ids.front());
    }
    if (!result.damage.isEmpty())
        message += text::damaged.arg(result.damage);
    setStatus(message);
    if ((!result.error.isEmpty() || !result.damage.isEmpty()) && Report)
        Report(message);
    emit importFinished(result);
}
