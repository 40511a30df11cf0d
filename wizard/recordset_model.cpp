#include "wizard/recordset_model.h"

#include <QTableView>
#include <algorithm>
#include <limits>

namespace wizard {

RecordsetModel::RecordsetModel(db::Recordset recordset, QObject* parent)
    : QAbstractTableModel(parent), m_recordset(std::move(recordset)) {
    const int columns = m_recordset.fieldCount();
    for (int i = 0; i < columns; ++i)
        m_headers.append(QString::fromStdString(m_recordset.field(i).Name));
    // Views count rows in int; a table beyond that shows its first two thousand million rows.
    m_rows = static_cast<int>(std::min<long long>(m_recordset.RecordCount(), std::numeric_limits<int>::max()));
}

int RecordsetModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_rows;
}

int RecordsetModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_headers.size());
}

QVariant RecordsetModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || (role != Qt::DisplayRole && role != Qt::ToolTipRole))
        return {};
    try {
        // Null shows as an empty cell.
        return QString::fromStdString(m_recordset.valueAt(index.row(), index.column()).toText());
    } catch (const std::exception&) {
        // A file that went away under the grid must not take the painting down with it.
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
