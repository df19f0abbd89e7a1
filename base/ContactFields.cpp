#include "base/ContactFields.h"

const QStringList &contactFieldNames()
{
#define CORVANTA_CONTACT_FIELD_NAME(name) QStringLiteral(#name),
    static const QStringList names = {CORVANTA_CONTACT_FIELDS(CORVANTA_CONTACT_FIELD_NAME)};
#undef CORVANTA_CONTACT_FIELD_NAME
    return names;
}
