#include "console/LineTracePanel.h"

#include "common/BackgroundWrite.h"
#include "console/CsvExport.h"
#include "console/core/LineTraceModel.h"

#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QVBoxLayout>

namespace {
namespace text {
const QString title = QStringLiteral("Линии на връзката (последните 10 000):");
const QString pause = QStringLiteral("Пауза");
const QString exportCaption = QStringLiteral("Експорт на линиите");
} // namespace text
} // namespace

TLineInspectorPanel::TLineInspectorPanel(const TLineLog& log, QWidget* parent)
    : QWidget(parent)
    , log_(log)
{
    setObjectName(QStringLiteral("LineInspectorPanel"));
    saveFileName = [this](const QString& caption, const QString& filter) {
        return QFileDialog::getSaveFileName(this, caption, QString(), filter);
    };
    model_ = new TLineInspectorModel(log_, this);

    LineInspector = new QTableView(this);
    LineInspector->setObjectName(QStringLiteral("LineInspector"));
    LineInspector->setModel(model_);
    LineInspector->setSelectionBehavior(QAbstractItemView::SelectRows);
    LineInspector->setEditTriggers(QAbstractItemView::NoEditTriggers);
    LineInspector->setWordWrap(false);
    LineInspector->verticalHeader()->hide();
    LineInspector->verticalHeader()->setDefaultSectionSize(18);
    LineInspector->horizontalHeader()->setStretchLastSection(true);
    LineInspector->setColumnWidth(TLineInspectorModel::ColTime, 90);
    LineInspector->setColumnWidth(TLineInspectorModel::ColDirection, 50);
    LineInspector->setColumnWidth(TLineInspectorModel::ColText, 220);
    LineInspector->setColumnWidth(TLineInspectorModel::ColHex, 200);

    PauseInspector = new QPushButton(text::pause, this);
    PauseInspector->setObjectName(QStringLiteral("PauseInspector"));
    PauseInspector->setCheckable(true);
    PauseInspector->setAutoDefault(false);
    ExportInspector = new QPushButton(csv_export::buttonCaption(), this);
    ExportInspector->setObjectName(QStringLiteral("ExportInspector"));
    ExportInspector->setAutoDefault(false);
    connect(PauseInspector, &QPushButton::toggled, this, [this](bool on) { model_->setPaused(on); });
    connect(ExportInspector, &QPushButton::clicked, this, &TLineInspectorPanel::exportCsv);

    auto* bar = new QHBoxLayout;
    bar->addWidget(new QLabel(text::title, this));
    bar->addStretch(1);
    bar->addWidget(PauseInspector);
    bar->addWidget(ExportInspector);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addLayout(bar);
    layout->addWidget(LineInspector, 1);
}

void TLineInspectorPanel::refresh()
{
    QScrollBar* bar = LineInspector->verticalScrollBar();
    const bool atEnd = bar->value() >= bar->maximum();
    model_->refresh();
    if (atEnd && !model_->paused())
        LineInspector->scrollToBottom();
}

void TLineInspectorPanel::showMoment(qint64 ms)
{
    model_->refresh();
    const int row = model_->rowAtTime(ms);
    if (row < 0)
        return;
    const QModelIndex at = model_->index(row, TLineInspectorModel::ColTime);
    LineInspector->selectRow(row);
    LineInspector->scrollTo(at, QAbstractItemView::PositionAtCenter);
}

void TLineInspectorPanel::exportCsv()
{
    csv_export::run(this, saveFileName, errorReport, text::exportCaption,
        [this](const QString& path, csv_export::Done done) {
            writeFileInBackground(this, path, linesCsv(log_), std::move(done));
        });
}
