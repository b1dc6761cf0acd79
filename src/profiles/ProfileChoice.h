#pragma once
// One setting of a profile: its default value, the ";"-separated choices ("-1" meaning
// automatic) and whether the user may change it.

#include <QString>

struct ProfileChoice
{
    QString Value;
    QString Choices;
    bool Enabled = false;

    bool operator==(const ProfileChoice&) const = default;
};
