#include "ui/QtSettingsStore.h"

namespace {
QString key(std::string_view name) {
    return QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
}
} // namespace

QtSettingsStore::QtSettingsStore()
    : settings_(QStringLiteral("Morvane"), QStringLiteral("kelvora")) {}

std::optional<std::string> QtSettingsStore::readText(std::string_view name) {
    const QVariant value = settings_.value(key(name));
    if (!value.isValid())
        return std::nullopt;
    return value.toString().toStdString();
}

std::optional<int> QtSettingsStore::readInt(std::string_view name) {
    bool ok = false;
    const int value = settings_.value(key(name)).toInt(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

void QtSettingsStore::writeText(std::string_view name, const std::string& value) {
    settings_.setValue(key(name), QString::fromStdString(value));
    settings_.sync();
}

void QtSettingsStore::writeInt(std::string_view name, int value) {
    settings_.setValue(key(name), value);
    settings_.sync();
}
