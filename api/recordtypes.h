#pragma once

// Makes the record types known to the meta-type system under "Compound",
// "UserRow", "QVector<Compound>", "QVector<UserRow>", "CompoundDetails",
// "CompoundImage" and "QVector<CompoundImage>", in this order.
void registerRecordTypes();
