#include "wizard/recordset_model.h"

#include "app/desktop.h"
#include "app/program.h"
#include "db/error.h"

#include <QTableView>
#include <QTimer>
#include <algorithm>
#include <limits>

namespace wizard {

RecordsetModel::RecordsetModel(db::Recordset recordset, QObject* parent)
    : QAbstractTableModel(parent), m_recordset(std::move(recordset)) {
    const int columns = m_recordset.fieldCount();
    for (int i = 0; i < columns; ++i)
        m_headers.append(QString::fromStdString(m_recordset.field(i).Name));
    // The first stretch at once, so that the first screen (and a small table whole) needs no second pass.
    fetchMore({});
}

bool RecordsetModel::rowExists(long long row) const {
    if (m_headers.isEmpty() || m_failed)
        return false;
    try {
        (void)m_recordset.valueAt(row, 0);
        return true;
    } catch (const db::Error& e) {
        if (e.number() != db::err::NoCurrentRecord)
            failed(e);
        return false;
    } catch (const std::exception& e) {
        failed(e);
        return false;
    }
}

void RecordsetModel::failed(const std::exception& e) const {
    if (m_failed)
        return;
    m_failed = true;
    // Reads happen while the view paints or scrolls: the report and the emptying wait for the event loop.
    auto* self = const_cast<RecordsetModel*>(this);
    QTimer::singleShot(0, self, [self, text = std::string(e.what())] { self->showFailure(text); });
}

void RecordsetModel::showFailure(const std::string& text) {
    beginResetModel();
    m_rows = 0;
    m_headers.clear();
    m_complete = true;
    endResetModel();
    app::desktop().messageBox(text, app::applicationTitle(), app::Buttons::Ok, app::Icon::Warning);
}

long long RecordsetModel::rowsBelow(long long limit) const {
    if (rowExists(limit - 1))
        return limit;
    long long present = m_rows - 1; // exists (or -1)
    long long absent = limit - 1;
    while (absent - present > 1) {
        const long long middle = present + (absent - present) / 2;
        (rowExists(middle) ? present : absent) = middle;
    }
    return present + 1;
}

bool RecordsetModel::canFetchMore(const QModelIndex& parent) const {
    return !parent.isValid() && !m_complete;
}

void RecordsetModel::fetchMore(const QModelIndex& parent) {
    constexpr long long kFirstStretch = 256;
    // Views count rows in int; a table beyond that shows its first two thousand million rows.
    constexpr long long kMostRows = std::numeric_limits<int>::max();
    if (parent.isValid() || m_complete)
        return;
    const long long limit = std::min(m_rows + std::max<long long>(m_rows, kFirstStretch), kMostRows);
    const long long found = rowsBelow(limit);
    m_complete = found < limit || limit == kMostRows;
    if (found > m_rows) {
        beginInsertRows({}, m_rows, static_cast<int>(found - 1));
        m_rows = static_cast<int>(found);
        endInsertRows();
    }
}

int RecordsetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int RecordsetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_headers.size());
}

QVariant RecordsetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole) || m_failed)
        return {};
    try {
        // Null shows as an empty cell. A cell shows one line, so a long value (a text of megabytes, a blob)
        // is cut: laying out all of it would stall every repaint of the grid for seconds.
        constexpr std::size_t kShownBytes = 1000;
        std::string text = m_recordset.valueAt(index.row(), index.column()).toText();
        if (text.size() > kShownBytes) {
            std::size_t cut = kShownBytes;
            while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
                --cut; // not inside a character
            text.resize(cut);
            text += "\u2026";
        }
        return QString::fromStdString(text);
    } catch (const db::Error& e) {
        // A file or server that went away under the grid must not take the painting down with it.
        if (e.number() != db::err::NoCurrentRecord)
            failed(e);
        return {};
    } catch (const std::exception& e) {
        failed(e);
        return {};
    }
}

QVariant RecordsetModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < m_headers.size())
        return m_headers[section];
    return QAbstractTableModel::headerData(section, orientation, role);
}

void bindGrid(QTableView* grid, const db::Recordset& recordset) {
    auto* model = new RecordsetModel(recordset, grid);
    QAbstractItemModel* old = grid->model();
    grid->setModel(model);
    if (old && old->parent() == grid)
        delete old;
}

void unbindGrid(QTableView* grid) {
    QAbstractItemModel* old = grid->model();
    grid->setModel(nullptr);
    if (old && old->parent() == grid)
        delete old;
}

const db::Recordset* boundRecordset(const QTableView* grid) {
    auto* model = qobject_cast<const RecordsetModel*>(grid->model());
    return model ? &model->recordset() : nullptr;
}

} // namespace wizard
