#include "wizard/db_names.h"

#include <QByteArray>
#include <QListWidget>
#include <QStringDecoder>

namespace wizard {

namespace {
constexpr int kBytesRole = Qt::UserRole + 1;
}

QString displayName(const std::string& bytes) {
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = utf8.decode(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (!utf8.hasError())
        return text;
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

void addName(QListWidget* list, const std::string& bytes) {
    auto* item = new QListWidgetItem(displayName(bytes));
    item->setData(kBytesRole, QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
    list->addItem(item);
}

std::string nameBytes(const QListWidgetItem* item) {
    const QVariant bytes = item->data(kBytesRole);
    if (bytes.isValid()) {
        const QByteArray b = bytes.toByteArray();
        return std::string(b.constData(), static_cast<std::size_t>(b.size()));
    }
    return item->text().toStdString();
}

} // namespace wizard
