// A mended fault of PAPPL 1.3: a job held with "job-hold-until" has the state reason
// job-hold-until-specified, which PAPPL's loop over the reasons stops short of, so that it
// answers "job-state-reasons" with no value at all (against RFC 8011, and ipptool's
// conformance tests). The printer's own ippAddStrings stands in front of libcups's: an empty
// job-state-reasons gets the one reason it can only be.
#include <cups/ipp.h>

#include <cstring>
#include <dlfcn.h>

extern "C" ipp_attribute_t *ippAddStrings(ipp_t *ipp, ipp_tag_t group, ipp_tag_t value_tag, const char *name,
                                          int num_values, const char *language, const char *const *values)
{
    using AddStrings = ipp_attribute_t *(*)(ipp_t *, ipp_tag_t, ipp_tag_t, const char *, int, const char *,
                                            const char *const *);
    static const auto real = reinterpret_cast<AddStrings>(dlsym(RTLD_NEXT, "ippAddStrings"));
    static const char *const held[] = {"job-hold-until-specified"};
    if (num_values == 0 && name && std::strcmp(name, "job-state-reasons") == 0)
        return real(ipp, group, value_tag, name, 1, language, held);
    return real(ipp, group, value_tag, name, num_values, language, values);
}
