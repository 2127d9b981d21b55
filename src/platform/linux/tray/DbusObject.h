#pragma once

#include <gio/gio.h>

#include <expected>
#include <functional>
#include <memory>
#include <string>

#include "platform/Types.h"

namespace vx::platform::linux_ {

// One object on the bus with a single interface, exported while this lives.
// Calls arrive on the main context of the thread that made it. A call whose
// arguments hold a string longer than 4 KiB or an array of more than 1,024
// entries is answered with InvalidArgs and never reaches the handler.
class DbusObject {
  public:
    // Answers through `invocation`, exactly once.
    using MethodHandler = std::function<void(const std::string& method, GVariant* parameters,
                                             GDBusMethodInvocation* invocation)>;
    // A new value for the property, or nullptr when there is none.
    using PropertyHandler = std::function<GVariant*(const std::string& property)>;

    // `introspection` describes one interface. Fails when another object
    // already holds the path on this connection.
    static std::expected<std::unique_ptr<DbusObject>, Error> make(GDBusConnection* bus,
                                                                  const std::string& path,
                                                                  const char* introspection,
                                                                  MethodHandler onCall,
                                                                  PropertyHandler onGet);
    ~DbusObject();
    DbusObject(const DbusObject&) = delete;
    DbusObject& operator=(const DbusObject&) = delete;

    // To every listener; a floating `parameters` is consumed.
    void emit(const char* signal, GVariant* parameters);
    // org.freedesktop.DBus.Properties.PropertiesChanged with the new values of
    // the properties in `changed` (a{sv}, consumed when floating).
    void emitPropertiesChanged(GVariant* changed);

  private:
    DbusObject(GDBusConnection* bus, std::string path, GDBusNodeInfo* node, MethodHandler onCall,
               PropertyHandler onGet);

    static void onMethodCall(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                             const gchar* method, GVariant* parameters,
                             GDBusMethodInvocation* invocation, gpointer self);
    static GVariant* onGetProperty(GDBusConnection*, const gchar*, const gchar*, const gchar*,
                                   const gchar* property, GError** error, gpointer self);

    GDBusConnection* bus_;
    const std::string path_;
    GDBusNodeInfo* node_;
    const MethodHandler onCall_;
    const PropertyHandler onGet_;
    guint registration_ = 0;
};

}  // namespace vx::platform::linux_
