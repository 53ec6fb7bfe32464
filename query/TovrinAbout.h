// TTovrinAbout: the type of the design-time About property of the package's components.
// The class has no content; the property's value is always nil. A designer recognises the
// property by this type and shows the package's information dialog for it.
#pragma once

#include <string>

#include "tovrin5/host/Persistent.h"

namespace tovrin {

class TTovrinAbout : public host::TPersistent {
public:
    [[nodiscard]] std::string ClassName() const override { return "TTovrinAbout"; }
};

} // namespace tovrin
