// The user settings kept with QSettings under the organisation "Morvane" and the
// application "kelvora".
#pragma once

#include "configuration/settings.h"

#include <QSettings>

class QtSettingsStore : public kelvora::SettingsStore {
public:
    QtSettingsStore();

    std::optional<std::string> readText(std::string_view name) override;
    std::optional<int> readInt(std::string_view name) override;
    void writeText(std::string_view name, const std::string& value) override;
    void writeInt(std::string_view name, int value) override;

private:
    QSettings settings_;
};
