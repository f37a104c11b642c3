// Reading back the tables and reports that the programs write, independently
// of the code that writes them: an RFC 4180 CSV reader, a well-formedness
// check of a page (tags nested and closed, attributes quoted, entities known,
// no scripts and no external resources), and the numbers of a page that name
// their place in the JSON results (data-json).
#pragma once

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <string>
#include <vector>

namespace tk_test {

struct Csv {
    std::vector<std::string> header;
    std::vector<std::map<std::string, std::string>> rows;  // by column name
};

// Fields separated by commas, records by LF; quoted fields may hold commas,
// doubled quotes and line ends. Adds a failure for a CR or a ragged row.
inline Csv read_csv(const std::string& text) {
    std::vector<std::vector<std::string>> records(1, std::vector<std::string>(1));
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        std::string& field = records.back().back();
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') field += '"', ++i;
            else if (c == '"') quoted = false;
            else field += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            records.back().emplace_back();
        } else if (c == '\n') {
            records.emplace_back(1);
        } else {
            EXPECT_NE(c, '\r') << "a CSV line end is LF alone";
            field += c;
        }
    }
    if (records.back().size() == 1 && records.back()[0].empty()) records.pop_back();  // after the last LF
    Csv csv;
    if (records.empty()) return csv;
    csv.header = records.front();
    for (std::size_t r = 1; r < records.size(); ++r) {
        EXPECT_EQ(records[r].size(), csv.header.size()) << "row " << r;
        std::map<std::string, std::string> row;
        for (std::size_t c = 0; c < csv.header.size() && c < records[r].size(); ++c) row[csv.header[c]] = records[r][c];
        csv.rows.push_back(row);
    }
    return csv;
}

// A cell against a JSON value, exactly: NA for null, TRUE/FALSE, whole
// numbers, reals read back to the same 8-byte value, texts as they are.
inline bool cell_equals(const std::string& cell, const nlohmann::json& value) {
    if (value.is_null()) return cell == "NA";
    if (value.is_boolean()) return cell == (value.get<bool>() ? "TRUE" : "FALSE");
    if (value.is_string()) return cell == value.get<std::string>();
    double x = 0.0;
    const auto r = std::from_chars(cell.data(), cell.data() + cell.size(), x);
    return r.ec == std::errc() && r.ptr == cell.data() + cell.size() && x == value.get<double>();
}

// An element of a page that shows a number from the JSON results.
struct ShownNumber {
    std::string text;  // as shown
    std::map<std::string, std::string> attributes;
};

// Checks that the page is well-formed (every tag closed in order, void tags
// self-closed, attribute values quoted, only the five XML entities and
// numeric ones) and self-contained (no script, no link, no src or href
// leaving the page); returns the elements with a data-json attribute.
inline std::vector<ShownNumber> check_page(const std::string& page) {
    std::vector<std::string> open;
    std::vector<ShownNumber> shown;
    std::vector<std::size_t> shown_open;  // depth of the element each shown number belongs to
    std::size_t i = page.find("<html");
    EXPECT_EQ(page.rfind("<!DOCTYPE html>", 0), 0u);
    while (i < page.size()) {
        const std::size_t lt = page.find('<', i);
        const std::string text = page.substr(i, (lt == std::string::npos ? page.size() : lt) - i);
        for (std::size_t a = text.find('&'); a != std::string::npos; a = text.find('&', a + 1)) {
            const std::size_t semi = text.find(';', a);
            const std::string entity = semi == std::string::npos ? "" : text.substr(a, semi - a + 1);
            EXPECT_TRUE(entity == "&amp;" || entity == "&lt;" || entity == "&gt;" || entity == "&quot;" ||
                        entity == "&#39;")
                << "entity at " << a << ": " << text.substr(a, 12);
        }
        if (!shown_open.empty() && shown_open.back() == open.size()) shown.back().text += text;
        if (lt == std::string::npos) break;
        const std::size_t gt = page.find('>', lt);
        if (gt == std::string::npos) {
            ADD_FAILURE() << "tag not closed at " << lt;
            break;
        }
        std::string tag = page.substr(lt + 1, gt - lt - 1);
        i = gt + 1;
        if (tag.rfind('/', 0) == 0) {
            const std::string name = tag.substr(1);
            EXPECT_TRUE(!open.empty() && open.back() == name) << "</" << name << "> closes " << (open.empty() ? "nothing" : open.back());
            if (!open.empty()) open.pop_back();
            if (!shown_open.empty() && shown_open.back() == open.size() + 1) shown_open.pop_back();
            continue;
        }
        const bool self_closed = !tag.empty() && tag.back() == '/';
        if (self_closed) tag.pop_back();
        const std::size_t name_end = tag.find_first_of(" \n");
        const std::string name = tag.substr(0, name_end);
        EXPECT_NE(name, "script");
        EXPECT_NE(name, "link");
        EXPECT_NE(name, "img");
        std::map<std::string, std::string> attributes;
        for (std::size_t k = name_end; k != std::string::npos && k < tag.size();) {
            k = tag.find_first_not_of(" \n", k);
            if (k == std::string::npos) break;
            const std::size_t eq = tag.find('=', k);
            EXPECT_TRUE(eq != std::string::npos && eq + 1 < tag.size() && tag[eq + 1] == '"') << "<" << tag << ">";
            if (eq == std::string::npos || eq + 1 >= tag.size()) break;
            const std::size_t end = tag.find('"', eq + 2);
            if (end == std::string::npos) break;
            attributes[tag.substr(k, eq - k)] = tag.substr(eq + 2, end - eq - 2);
            k = end + 1;
        }
        for (const char* external : {"src", "href"}) EXPECT_EQ(attributes.count(external), 0u) << "<" << tag << ">";
        if (name == "meta" || name == "br") {
            EXPECT_TRUE(self_closed) << "<" << tag << ">";
        }
        if (self_closed) continue;
        open.push_back(name);
        if (attributes.count("data-json")) {
            shown.push_back({"", attributes});
            shown_open.push_back(open.size());
        }
    }
    EXPECT_TRUE(open.empty()) << "unclosed: " << (open.empty() ? "" : open.back());
    return shown;
}

// The entities of a shown text replaced, and the en dash of a missing value kept.
inline std::string unescaped(std::string text) {
    for (const auto& [entity, c] : {std::pair{"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&amp;", "&"}})
        for (std::size_t k = text.find(entity); k != std::string::npos; k = text.find(entity, k))
            text.replace(k, std::string(entity).size(), c);
    return text;
}

// A number as shown equals the value to the digits shown: within half a unit
// of its last digit ("0.0153" within 0.00005, "1.23457e+06" within 5).
inline bool shows_value(const std::string& shown, double value) {
    std::string text = shown;
    if (text.rfind("\xc2\xb1 ", 0) == 0) text.erase(0, 3);  // "± 0.123"
    if (!text.empty() && text.back() == '%') text.pop_back();
    double x = 0.0;
    const auto r = std::from_chars(text.data(), text.data() + text.size(), x);
    if (r.ec != std::errc() || r.ptr != text.data() + text.size()) return false;
    const std::size_t e = text.find_first_of("eE");
    const std::string mantissa = text.substr(0, e);
    const std::size_t point = mantissa.find('.');
    const int decimals = point == std::string::npos ? 0 : static_cast<int>(mantissa.size() - point - 1);
    const int exponent = e == std::string::npos ? 0 : std::stoi(text.substr(e + 1));
    const double half_unit = 0.5 * std::pow(10.0, exponent - decimals);
    return std::fabs(x - value) <= half_unit * (1 + 1e-9) + 1e-300;
}

}  // namespace tk_test

namespace tk_test {

// The share of a component in percent of the sum of the components of the
// effects and the residual of its pair (data-share-of names the pair).
inline double share_of(const nlohmann::json& pair, double component) {
    double total = 0.0;
    for (const nlohmann::json& row : pair.at("rows"))
        if (row.at("kind") == "effect" || row.at("kind") == "residual") total += row.at("component").get<double>();
    return 100.0 * component / total;
}

// Checks the page and that every number it shows is the JSON's value at the
// place it names, to the digits shown; returns the places shown.
inline std::vector<std::string> expect_page_shows(const std::string& page, const nlohmann::json& results) {
    std::vector<std::string> places;
    for (const ShownNumber& shown : check_page(page)) {
        const std::string place = shown.attributes.at("data-json");
        const nlohmann::json::json_pointer pointer(place);
        const std::string text = unescaped(shown.text);
        places.push_back(place);
        if (!results.contains(pointer)) {
            ADD_FAILURE() << place << " is not in the JSON results";
            continue;
        }
        const nlohmann::json& value = results.at(pointer);
        if (value.is_null()) {
            EXPECT_EQ(text, "\xe2\x80\x93") << place;
            continue;
        }
        double expected = value.get<double>();
        if (const auto of = shown.attributes.find("data-share-of"); of != shown.attributes.end())
            expected = share_of(results.at(nlohmann::json::json_pointer(of->second)), expected);
        EXPECT_TRUE(shows_value(text, expected)) << place << ": shows " << text << " for " << expected;
    }
    return places;
}

inline bool contains(const std::vector<std::string>& list, const std::string& item) {
    return std::find(list.begin(), list.end(), item) != list.end();
}

}  // namespace tk_test
