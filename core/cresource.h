#ifndef CUPS_CRESOURCE_H
#define CUPS_CRESOURCE_H

#include <memory>

namespace CUPS
{
/// Releases a C library object with the one function that frees it.
template<auto Release>
struct ReleaseWith {
    template<typename T>
    void operator()(T *object) const
    {
        Release(object);
    }
};

/// Owns a C library object: CResource<ppd_file_t, ppdClose> closes the PPD
/// when it goes out of scope, on every path.
template<typename T, auto Release>
using CResource = std::unique_ptr<T, ReleaseWith<Release>>;
} // namespace CUPS

#endif
