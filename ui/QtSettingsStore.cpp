#include "ui/QtSettingsStore.h"

namespace {
QString key(std::string_view name) {
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}
} // namespace

QtSettingsStore::QtSettingsStore()
    : m_settings(QStringLiteral("Morvane"), QStringLiteral("kelvora")) {}

std::optional<std::string> QtSettingsStore::readText(std::string_view name) {
    const QVariant value = m_settings.value(key(name));
    if (!value.isValid())
        return std::nullopt;
    return value.toString().toStdString();
}

std::optional<int> QtSettingsStore::readInt(std::string_view name) {
    bool ok = false;
    const int value = m_settings.value(key(name)).toInt(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

void QtSettingsStore::writeText(std::string_view name, const std::string& value) {
    m_settings.setValue(key(name), QString::fromStdString(value));
    m_settings.sync();
}

void QtSettingsStore::writeInt(std::string_view name, int value) {
    m_settings.setValue(key(name), value);
    m_settings.sync();
}
