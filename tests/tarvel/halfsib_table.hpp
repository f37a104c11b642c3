// The half-sib reference data (sires A, dams within sires B, three traits)
// rewritten as a breeder's export: a header of names, the columns in another
// order, an identifier and a date nobody analyses, sires as text ("S1001"),
// dams as eight-digit numbers (their order follows sire, then dam, as the
// letter codes do), an unknown dam (code 0) as NA, a missing trait (-999) as
// NA, an empty cell or ".", and a quoted remark with a separator, doubled
// quotes and, now and then, a line break.
#pragma once

#include <sstream>
#include <string>
#include <vector>

namespace tarvel_test {

inline const char* const halfsib_model = "sire + dam | sire";
inline const char* const halfsib_traits = "wwt, height, bfat";

struct HalfsibTable {
    std::string text;
    int unknown_dams = 0;  // rows whose dam is NA
};

// The cases of the letter-coded file, the lines after its head, as the table.
// bad_rows rows that cannot be read are added at the end.
inline HalfsibTable halfsib_table(const std::string& letter_coded, int bad_rows = 0) {
    HalfsibTable table;
    std::ostringstream out;
    out << "lamb,wwt,dam,born,height,sire,\"remark, free\",bfat\r\n";
    std::istringstream in(letter_coded);
    const char* const missing[] = {"NA", "", "."};
    int row = 0, missing_count = 0;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string sire, dam, wwt, height, bfat;
        if (line.empty() || line[0] < '0' || line[0] > '9' || !(fields >> sire >> dam >> wwt >> height >> bfat))
            continue;
        const auto trait = [&](const std::string& value) {
            return value == "-999" ? std::string(missing[missing_count++ % 3]) : value;
        };
        table.unknown_dams += dam == "0";
        const std::string dam_id = dam == "0" ? "NA" : std::to_string(20170000 + std::stoi(sire) * 10 + std::stoi(dam));
        const std::string remark = row % 50 == 7 ? "\"two\r\nlines\"" : "\"said \"\"fine\"\", ok\"";
        out << "L" << 1000 + row << "," << trait(wwt) << "," << dam_id << ",2017-03-" << 10 + row % 19 << ","
            << trait(height) << ",S" << 1000 + std::stoi(sire) << "," << remark << "," << trait(bfat) << "\r\n";
        ++row;
    }
    for (int i = 0; i < bad_rows; ++i) out << (i % 2 == 0 ? "L9,1.0,NA\r\n" : "L9,n/a,20170011,x,1,S1001,r,1\r\n");
    table.text = out.str();
    return table;
}

}  // namespace tarvel_test
