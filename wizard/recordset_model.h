#pragma once
// The preview and result grids: a table model over a record set. It shows every row and column, reads
// only the rows the view asks for (lazy cursors fetch them block by block), and holds the record set,
// and with it the database file, for as long as a grid shows it.
//
// The rows are made known to the view a stretch at a time, each stretch as long as all before it, as
// the view scrolls towards the end: counting a table's rows means reading all of it, and a view keeps a
// little memory for every row it knows of, so neither cost may depend on the size of the table.
#include "db/recordset.h"

#include <QAbstractTableModel>
#include <QStringList>

class QTableView;

namespace wizard {

class RecordsetModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit RecordsetModel(db::Recordset recordset, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent) const override;
    void fetchMore(const QModelIndex& parent) override;

    const db::Recordset& recordset() const { return m_recordset; }

private:
    bool rowExists(long long row) const;
    // A read that failed for any reason but the end of the rows (a server connection lost, a file gone):
    // said once, after which the grid is empty and nothing is read again.
    void failed(const std::exception& e) const;
    void showFailure(const std::string& text);
    // How many rows exist below `limit`, knowing that the first m_rows do.
    long long rowsBelow(long long limit) const;

    db::Recordset m_recordset;
    QStringList m_headers;
    int m_rows = 0;
    bool m_complete = false;
    mutable bool m_failed = false;
};

// The grid's data source: bind shows the record set (replacing and releasing whatever was shown),
// unbind leaves the grid empty and releases the record set it showed.
void bindGrid(QTableView* grid, const db::Recordset& recordset);
void unbindGrid(QTableView* grid);

// The record set a grid shows, or nullptr.
const db::Recordset* boundRecordset(const QTableView* grid);

} // namespace wizard
