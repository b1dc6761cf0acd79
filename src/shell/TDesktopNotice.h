#pragma once
// A desktop notification through the freedesktop notification service on the session bus, with
// the program's icon. Sent without waiting for an answer; without a session bus or a service
// nothing happens and nothing is said.

#include <QString>

class TDesktopNotice
{
public:
    // appName names the program to the service. Returns whether the notice was handed to a
    // session bus (not whether anybody showed it).
    static bool Send(const QString& appName, const QString& summary, const QString& body);

    // True when a session bus can be reached without starting one: its address is in the
    // environment, or the user's runtime folder holds its socket.
    static bool SessionBusKnown();
};
