// Tavix CallerID: the Calls window: the recent calls, what became of each, and Send again.
#include "ui/CallsWindow.h"

#include "ui/CallListModel.h"
#include "ui/CsvText.h"
#include "ui/MessageBoxes.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDate>
#include <QDir>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSaveFile>
#include <QShortcut>
#include <QStandardPaths>
#include <QTableView>
#include <QVBoxLayout>

#include <iterator>

namespace {

QString defaultChooser(QWidget* parent, const QString& suggested)
{
    return QFileDialog::getSaveFileName(parent, QStringLiteral("Export the calls"), suggested,
                                        QStringLiteral("CSV files (*.csv);;All files (*)"));
}

} // namespace

CallsWindow::CallsWindow(CallHistory& history, SendAgain sendAgain, MessageBoxes& boxes,
                         QWidget* parent)
    : QWidget(parent, Qt::Window), m_history(history), m_sendAgain(std::move(sendAgain)),
      m_boxes(boxes), m_chooseFile(defaultChooser)
{
    setObjectName(QStringLiteral("CallsWindow"));
    setWindowTitle(QString::fromUtf8(kTitle));
    auto* layout = new QVBoxLayout(this);

    auto* top = new QHBoxLayout;
    auto* showLabel = new QLabel(QStringLiteral("&Show:"), this);
    m_filter = new QComboBox(this);
    m_filter->setObjectName(QStringLiteral("cboFilter"));
    // In the order of CallHistory::Filter.
    m_filter->addItems({QStringLiteral("All calls"), QStringLiteral("Missed calls"),
                        QStringLiteral("Not delivered to the web application")});
    showLabel->setBuddy(m_filter);
    m_search = new QLineEdit(this);
    m_search->setObjectName(QStringLiteral("txtSearch"));
    m_search->setPlaceholderText(QStringLiteral("Search a number or name (Ctrl+F)"));
    m_search->setClearButtonEnabled(true);
    top->addWidget(showLabel);
    top->addWidget(m_filter);
    top->addWidget(m_search, 1);
    layout->addLayout(top);

    m_model = new CallListModel(history, this);
    m_table = new QTableView(this);
    m_table->setObjectName(QStringLiteral("tblCalls"));
    m_table->setModel(m_model);
    m_table->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_table->setSelectionMode(QAbstractItemView::SingleSelection);
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->setAlternatingRowColors(true);
    m_table->setWordWrap(false);
    m_table->verticalHeader()->hide();
    // Fixed heights and widths: nothing measures the rows, however many there are.
    m_table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_table->verticalHeader()->setDefaultSectionSize(m_table->fontMetrics().height() + 6);
    QHeaderView* header = m_table->horizontalHeader();
    header->setStretchLastSection(true);
    const int digit = m_table->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    const int widths[] = {20, 5, 16, 22, 16};
    for (int column = 0; column < int(std::size(widths)); ++column)
        m_table->setColumnWidth(column, widths[column] * digit);
    m_table->installEventFilter(this);
    layout->addWidget(m_table, 1);

    auto* buttons = new QHBoxLayout;
    const auto addButton = [this, buttons](const char* name, const QString& text) {
        auto* button = new QPushButton(text, this);
        button->setObjectName(QLatin1String(name));
        button->setAutoDefault(false);
        buttons->addWidget(button);
        return button;
    };
    m_copyNumber = addButton("btnCopyNumber", QStringLiteral("&Copy number"));
    m_sendAgainButton = addButton("btnSendAgain", QStringLiteral("Send &again\u2026"));
    buttons->addStretch();
    m_markSeen = addButton("btnMarkSeen", QStringLiteral("&Mark all seen"));
    m_export = addButton("btnExport", QStringLiteral("&Export\u2026"));
    layout->addLayout(buttons);

    connect(m_filter, &QComboBox::currentIndexChanged, this, &CallsWindow::applyFilter);
    connect(m_search, &QLineEdit::textChanged, this, &CallsWindow::applyFilter);
    connect(m_copyNumber, &QPushButton::clicked, this, &CallsWindow::copyNumber);
    connect(m_sendAgainButton, &QPushButton::clicked, this, &CallsWindow::sendAgain);
    connect(m_markSeen, &QPushButton::clicked, &m_history, &CallHistory::markAllSeen);
    connect(m_export, &QPushButton::clicked, this, &CallsWindow::exportShown);
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        m_search->setFocus(Qt::ShortcutFocusReason);
        m_search->selectAll();
    });
    // The selection's call may change under it (sent again, answered) or go.
    connect(m_table->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &CallsWindow::updateButtons);
    connect(m_model, &QAbstractItemModel::dataChanged, this, &CallsWindow::updateButtons);
    connect(m_model, &QAbstractItemModel::rowsRemoved, this, &CallsWindow::updateButtons);
    // The newest call selected, so the keys act on a row from the start.
    const auto selectNewest = [this] {
        if (m_model->rowCount() > 0)
            m_table->selectRow(0);
        updateButtons();
    };
    connect(m_model, &QAbstractItemModel::modelReset, this, selectNewest);
    selectNewest();
    resize(900, 480);
    m_table->setFocus();
}

void CallsWindow::applyFilter()
{
    m_model->setFilter(CallHistory::Filter(m_filter->currentIndex()), m_search->text().trimmed());
}

std::optional<CallRecord> CallsWindow::selectedCall() const
{
    const QModelIndexList rows = m_table->selectionModel()->selectedRows();
    if (rows.isEmpty())
        return std::nullopt;
    return m_model->record(rows.first().row());
}

void CallsWindow::updateButtons()
{
    const std::optional<CallRecord> call = selectedCall();
    m_copyNumber->setEnabled(call && !call->number.isEmpty());
    m_sendAgainButton->setEnabled(call && call->canSendAgain());
}

void CallsWindow::copyNumber()
{
    if (const std::optional<CallRecord> call = selectedCall(); call && !call->number.isEmpty())
        QApplication::clipboard()->setText(call->number);
}

void CallsWindow::sendAgain()
{
    const std::optional<CallRecord> call = selectedCall();
    if (!call || !call->canSendAgain())
        return;
    // An act of the user's, never automatic: asked each time.
    const QString who = call->name.isEmpty()
                            ? call->number
                            : call->number + QStringLiteral(" \u2014 ") + call->name;
    const QString text =
        QStringLiteral("Send the call from %1 on line %2 at %3 to the web application again, "
                       "with the login saved now?")
            .arg(who)
            .arg(call->line)
            .arg(CallListModel::timeText(call->time));
    if (!m_boxes.question(this, windowTitle(), text))
        return;
    if (!m_sendAgain(call->id))
        m_boxes.warning(this, windowTitle(),
                        QStringLiteral("The call could not be sent again. The web application's "
                                       "host may not be set, or the call is already on its way."));
}

bool CallsWindow::exportTo(const QString& file)
{
    QList<QStringList> rows;
    QStringList header;
    for (int column = 0; column < CallListModel::ColumnCount; ++column)
        header.append(m_model->headerData(column, Qt::Horizontal).toString());
    rows.append(header);
    // Every call the filter shows, not only the pages the table has read.
    const CallHistory::Filter filter = m_model->filter();
    const QString search = m_model->search();
    constexpr int kPage = 1000;
    CallRecord::Id before = 0;
    for (;;) {
        const QList<CallRecord> page = m_history.fetch(filter, search, before, kPage);
        for (const CallRecord& record : page) {
            QStringList row;
            for (int column = 0; column < CallListModel::ColumnCount; ++column)
                row.append(CallListModel::cellText(record, column));
            rows.append(row);
        }
        if (page.size() < kPage)
            break;
        before = page.last().id;
    }
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(csvText(rows)) < 0 || !out.commit()) {
        m_boxes.warning(this, windowTitle(),
                        QStringLiteral("The calls could not be saved to %1:\n\n%2")
                            .arg(QDir::toNativeSeparators(file), out.errorString()));
        return false;
    }
    return true;
}

void CallsWindow::exportShown()
{
    const QString folder = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString suggested = QDir(folder).filePath(
        QStringLiteral("calls-%1.csv")
            .arg(QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"))));
    const QString file = m_chooseFile(this, suggested);
    if (!file.isEmpty())
        exportTo(file);
}

bool CallsWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_table && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
            sendAgain();
            return true;
        }
        if (key->matches(QKeySequence::Copy)) {
            copyNumber();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
