#include "platform/com/dispatch_table.h"

#include <QByteArray>
#include <QMetaMethod>
#include <QMetaObject>
#include <QObject>

#include <algorithm>
#include <array>
#include <vector>

namespace kv::com {

namespace {

constexpr int kMaxArguments = 10;  // what QMetaMethod::invoke can pass

bool SameName(std::string_view a, std::string_view b)
{
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char x, char y) { return lower(x) == lower(y); });
}

} // namespace

std::optional<int> CDispatchTable::IdOfName(std::string_view name) const
{
    for (const DispatchEntry& e : m_entries)
        if (SameName(e.name, name))
            return e.dispid;
    return std::nullopt;
}

const char* CDispatchTable::NameOfId(int dispid) const
{
    for (const DispatchEntry& e : m_entries)
        if (e.dispid == dispid)
            return e.name;
    return nullptr;
}

HRESULT CDispatchTable::Invoke(QObject& object, int dispid, const QVariantList& args, QVariant* result) const
{
    if (result)
        *result = QVariant();
    const char* name = NameOfId(dispid);
    if (!name)
        return DISP_E_MEMBERNOTFOUND;

    const QMetaObject* meta = object.metaObject();
    bool named = false;
    QMetaMethod method;
    for (int i = 0; i < meta->methodCount(); ++i) {
        const QMetaMethod candidate = meta->method(i);
        if (candidate.name() != name || candidate.methodType() == QMetaMethod::Signal)
            continue;
        named = true;
        if (candidate.parameterCount() == args.size()) {
            method = candidate;
            break;
        }
    }
    if (!named)
        return DISP_E_MEMBERNOTFOUND;
    if (!method.isValid() || args.size() > kMaxArguments)
        return DISP_E_BADPARAMCOUNT;

    std::vector<QVariant> converted;
    converted.reserve(args.size());
    for (int i = 0; i < args.size(); ++i) {
        QVariant value = args[i];
        if (!value.convert(method.parameterMetaType(i)))
            return DISP_E_TYPEMISMATCH;
        converted.push_back(std::move(value));
    }
    std::array<QGenericArgument, kMaxArguments> argv{};
    for (std::size_t i = 0; i < converted.size(); ++i)
        argv[i] = QGenericArgument(converted[i].metaType().name(), converted[i].constData());

    QVariant returned;
    QGenericReturnArgument returnArgument;
    if (method.returnMetaType().isValid() && method.returnMetaType().id() != QMetaType::Void) {
        returned = QVariant(method.returnMetaType());
        returnArgument = QGenericReturnArgument(method.returnMetaType().name(), returned.data());
    }
    const bool invoked = method.invoke(&object, Qt::DirectConnection, returnArgument, argv[0], argv[1], argv[2], argv[3],
                                       argv[4], argv[5], argv[6], argv[7], argv[8], argv[9]);
    if (!invoked)
        return DISP_E_TYPEMISMATCH;
    if (result)
        *result = returned;
    return S_OK;
}

} // namespace kv::com
