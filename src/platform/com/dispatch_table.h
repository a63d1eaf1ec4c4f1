// Calls a control's automation methods by dispatch id. The table maps each id to the name
// of a Q_INVOKABLE method; arguments are converted to the method's parameter types as an
// automation caller's variants would be, and the errors are the ones such a caller expects.
#pragma once

#include "platform/com/hresult.h"

#include <QVariant>
#include <QVariantList>

#include <optional>
#include <span>
#include <string_view>

class QObject;

namespace kv::com {

struct DispatchEntry {
    int dispid;
    const char* name;
};

class CDispatchTable {
public:
    explicit CDispatchTable(std::span<const DispatchEntry> entries) : m_entries(entries) {}

    // The id of a method name, compared without regard to ASCII case.
    std::optional<int> IdOfName(std::string_view name) const;
    const char* NameOfId(int dispid) const;  // nullptr when the table has no such id
    std::span<const DispatchEntry> Entries() const { return m_entries; }

    // DISP_E_MEMBERNOTFOUND for an id the table (or the object) does not have,
    // DISP_E_BADPARAMCOUNT when no overload takes that many arguments,
    // DISP_E_TYPEMISMATCH when an argument does not convert. result (when given) receives
    // the method's return value, or an invalid variant for methods without one.
    HRESULT Invoke(QObject& object, int dispid, const QVariantList& args, QVariant* result = nullptr) const;

private:
    std::span<const DispatchEntry> m_entries;
};

} // namespace kv::com
