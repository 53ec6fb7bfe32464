// TObject and TPersistent: assignment protocol and published-property lookup.
#include "tovrin5/host/Persistent.h"

#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/SysUtils.h"

namespace tovrin::host {

TObject::~TObject() = default;

void TPersistent::Assign(TPersistent* Source) {
    if (Source) {
        Source->AssignTo(this);
        return;
    }
    assignError(nullptr);
}

void TPersistent::AssignTo(TPersistent* Dest) {
    Dest->assignError(this);
}

void TPersistent::assignError(TPersistent* Source) {
    std::string sourceName = Source ? Source->ClassName() : std::string("nil");
    throw EConvertError("Cannot assign a " + sourceName + " to a " + ClassName());
}

void TPersistent::GetPublishedProperties(TPropList& /*list*/) const {}

void TPersistent::DefineProperties(TFiler* /*Filer*/) {}

std::string TPersistent::GetNamePath() const {
    if (TPersistent* owner = GetOwner()) {
        std::string path = owner->GetNamePath();
        if (!path.empty())
            return path + "." + ClassName();
    }
    return ClassName();
}

std::optional<TPropInfo> GetPropInfo(const TPersistent* instance, const std::string& name) {
    if (!instance)
        return std::nullopt;
    TPropList list;
    instance->GetPublishedProperties(list);
    for (TPropInfo& p : list) {
        if (SameText(p.name, name))
            return std::move(p);
    }
    return std::nullopt;
}

TPropList GetPropList(const TPersistent* instance) {
    TPropList list;
    if (instance)
        instance->GetPublishedProperties(list);
    return list;
}

} // namespace tovrin::host
