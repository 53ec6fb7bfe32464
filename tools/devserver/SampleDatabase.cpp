// The sample database's schema, data and procedures as T-SQL batches.
#include "SampleDatabase.h"

namespace devserver {

const std::vector<std::string>& sampleDatabaseBatches() {
    static const std::vector<std::string> kBatches = {
        R"sql(
create table publishers (
    pub_id char(4) not null primary key,
    pub_name varchar(40) null,
    city varchar(20) null,
    state char(2) null,
    country varchar(30) null)
insert into publishers values ('0736', 'New Moon Books', 'Boston', 'MA', 'USA')
)sql",
    };
    return kBatches;
}

} // namespace devserver
