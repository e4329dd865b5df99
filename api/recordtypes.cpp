#include "api/recordtypes.h"

#include "api/compound.h"
#include "api/compounddetails.h"
#include "api/userrow.h"

void registerRecordTypes()
{
    qRegisterMetaType<Compound>("Compound");
    qRegisterMetaType<UserRow>("UserRow");
    qRegisterMetaType<QList<Compound>>("QVector<Compound>");
    qRegisterMetaType<QList<UserRow>>("QVector<UserRow>");
    qRegisterMetaType<CompoundDetails>("CompoundDetails");
    qRegisterMetaType<CompoundImage>("CompoundImage");
    qRegisterMetaType<QList<CompoundImage>>("QVector<CompoundImage>");
}
