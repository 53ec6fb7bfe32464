// TSybQuery in the component stream: the parameter list travels as the defined property
// ParamData (a collection of parameters with their names, types and values, in order),
// since Params itself is never streamed. SQL is read first and builds markers and a fresh
// parameter list; ParamData then replaces that list with the stored one.
#include "tovrin5/host/Exceptions.h"
#include "tovrin5/host/Filer.h"
#include "tovrin5/host/Params.h"
#include "tovrin5/query/SybQuery.h"
#include "tovrin5/query/SybSqlParams.h"

namespace tovrin {

using namespace host;

void TSybQuery::DefineProperties(TFiler* Filer) {
    TSybDataSet::DefineProperties(Filer);
    bool hasData = FParams->Count() > 0;
    if (auto* ancestor = dynamic_cast<TSybQuery*>(Filer->Ancestor()))
        hasData = !FParams->IsEqual(ancestor->FParams.get());
    Filer->DefineProperty(
        "ParamData", [this](TReader* Reader) { ReadParamData(Reader); },
        [this](TWriter* Writer) { WriteParamData(Writer); }, hasData);
}

void TSybQuery::WriteParamData(TWriter* Writer) {
    Writer->WriteCollection(FParams.get());
}

void TSybQuery::ReadParamData(TReader* Reader) {
    if (Reader->ReadValue() != vaCollection)
        throw EReadError("Invalid property value");
    Reader->ReadCollection(FParams.get());
    // Each marker goes with the stored parameter of its name from now on; a marker without
    // one refers to none rather than to a parameter the read destroyed.
    pairMappingsByName();
}

} // namespace tovrin
