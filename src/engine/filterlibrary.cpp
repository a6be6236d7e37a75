#include "filterlibrary.h"

const FilterLibrary* FilterLibrary::get()
{
    static const FilterLibrary* const loaded = [] {
        static FilterLibrary library;
        return library.load() ? &library : nullptr;
    }();
    return loaded;
}
