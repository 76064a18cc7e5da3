// The Modbus address map: the default map of a symbol file, and map files,
// each refusal with its line.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "vx/console/error.hpp"
#include "vx/console/modbus_map.hpp"

namespace vx::console::modbus {
namespace {

// A program with every kind of variable, control cells included.
constexpr const char* kSymbols = R"(program mix
counts 16 540 20 60
start B 5 input
lamp B 6 output
X_1 B 7 step
X_1_PREV B 8 prev
setpoint I 523 input
count I 524 output
gain F 17 input
level F 18 output
code C 55 input
t1.Q B 9 block
t1.ET.days I 525 block
t1.ET.ticks I 526 block
wait.days I 527 input
wait.ticks I 528 input
box.x F 19 object
traceon B 0 control
execstatus I 311 control
simuperiod F 10 control
minsimuperiod F 11 control
maxsimuperiod F 12 control
realsimuperiod F 13 control
pospid I 537 control
posmxsimucounter I 538 control
)";

const SymbolTable& symbols() {
    static const SymbolTable table = parse_symbols(kSymbols, "mix.vars");
    return table;
}

constexpr const char* kDefaultMap = R"(name,type,table,address,registers,access
execstatus,int,input_register,0,2,r
posmxsimucounter,int,input_register,2,2,r
simuperiod,real,input_register,4,2,r
realsimuperiod,real,input_register,6,2,r
minsimuperiod,real,input_register,8,2,r
maxsimuperiod,real,input_register,10,2,r
start,bool,coil,0,1,rw
lamp,bool,discrete_input,0,1,r
X_1,bool,discrete_input,1,1,r
X_1_PREV,bool,discrete_input,2,1,r
setpoint,int,holding_register,100,2,rw
count,int,input_register,100,2,r
gain,real,holding_register,102,2,rw
level,real,input_register,102,2,r
code,char,holding_register,104,1,rw
t1.Q,bool,discrete_input,3,1,r
t1.ET,time,input_register,104,4,r
wait,time,holding_register,105,4,rw
box.x,real,input_register,108,2,r
)";

TEST(ModbusMap, DefaultMapPlacesEachKindInItsTable) {
    EXPECT_EQ(format_map(default_map(symbols(), {})), kDefaultMap);
}

TEST(ModbusMap, OptionsAddPlacesWithoutMovingAny) {
    const std::string plain = format_map(default_map(symbols(), {}));
    const std::string full = format_map(default_map(symbols(), {true, true}));
    // Every line of the plain map is in the full one, unchanged.
    for (std::size_t start = 0, end; (end = plain.find('\n', start)) != std::string::npos; start = end + 1)
        EXPECT_NE(full.find(plain.substr(start, end - start + 1)), std::string::npos) << plain.substr(start, end - start);
    EXPECT_NE(full.find("control,status,holding_register,0,1,rw\n"), std::string::npos);
    EXPECT_NE(full.find("lamp,bool,coil,1000,1,rw\n"), std::string::npos);
    EXPECT_NE(full.find("count,int,holding_register,1000,2,rw\n"), std::string::npos);
    EXPECT_NE(full.find("level,real,holding_register,1002,2,rw\n"), std::string::npos);
}

TEST(ModbusMap, AMapReadsBackWhatPrintMapWrites) {
    const AddressMap map = default_map(symbols(), {true, true});
    const AddressMap again = parse_map(format_map(map), "m.csv", symbols(), symbols().counts, {true, true});
    EXPECT_EQ(format_map(again), format_map(map));
    const Entry* wait = again.at(Table::HoldingRegister, 107);
    ASSERT_NE(wait, nullptr);
    EXPECT_EQ(wait->name, "wait");
    ASSERT_TRUE(wait->ticks);
    EXPECT_EQ(wait->ticks->index, 528);
    EXPECT_EQ(again.at(Table::HoldingRegister, 109), nullptr);
}

struct MapCase {
    const char* what;
    const char* lines;  // after the header line
    WriteRules rules;
    const char* error;  // empty: accepted
};

const MapCase kMapCases[] = {
    {"a small map", "start,bool,coil,7,1,rw\ncount,int,holding_register,0,2,r\n", {}, ""},
    {"a raw cell", "I400,int,holding_register,0,2,r\n", {}, ""},
    {"comments and blank lines", "# here\n\nstart,bool,coil,0,1,r\n", {}, ""},
    {"the last address", "count,int,input_register,65534,2,r\n", {}, ""},
    {"an unknown variable", "start,bool,coil,0,1,rw\nstrat2,bool,coil,1,1,rw\n", {}, "m.csv:3: unknown variable 'strat2'"},
    {"a close name", "lammp,bool,coil,1,1,r\n", {}, "m.csv:2: unknown variable 'lammp' (did you mean lamp?)"},
    {"an overlap", "setpoint,int,holding_register,10,2,rw\ngain,real,holding_register,11,2,rw\n", {},
     "m.csv:3: gain overlaps setpoint (line 2)"},
    {"the same address in two tables", "count,int,input_register,0,2,r\nsetpoint,int,holding_register,0,2,rw\n", {}, ""},
    {"past the table's end", "count,int,input_register,65535,2,r\n", {}, "m.csv:2: count does not fit the input_register table"},
    {"an address out of range", "start,bool,coil,65536,1,r\n", {}, "m.csv:2: address '65536' is not 0 to 65535"},
    {"a bool in registers", "start,bool,holding_register,0,1,rw\n", {}, "does not fit the holding_register table"},
    {"an int in coils", "count,int,coil,0,2,r\n", {}, "does not fit the coil table"},
    {"the wrong type", "count,real,input_register,0,2,r\n", {}, "m.csv:2: count is an int, not a real"},
    {"the wrong width", "wait,time,holding_register,0,2,rw\n", {}, "m.csv:2: a time takes 4 registers, not '2'"},
    {"rw in a read-only table", "start,bool,discrete_input,0,1,rw\n", {}, "the discrete_input table is read only"},
    {"an output written without the option", "lamp,bool,coil,0,1,rw\n", {}, "writing outputs needs --write-outputs"},
    {"an output written with the option", "lamp,bool,coil,0,1,rw\n", {true, false}, ""},
    {"a step written", "X_1,bool,coil,0,1,rw\n", {true, true}, "m.csv:2: X_1 cannot be rw: only inputs and outputs"},
    {"a timer's TIME written", "t1.ET,time,holding_register,0,4,rw\n", {true, true}, "only inputs and outputs"},
    {"the control register without the option", "control,status,holding_register,0,1,r\n", {}, "needs --control"},
    {"the control register", "control,status,holding_register,5,1,rw\n", {false, true}, ""},
    {"too few fields", "start,bool,coil,0,1\n", {}, "m.csv:2: expected 6 fields"},
    {"an unknown access", "start,bool,coil,0,1,w\n", {}, "access 'w' is not r or rw"},
    {"an unknown table", "start,bool,coils,0,1,r\n", {}, "unknown table 'coils'"},
    {"a raw cell outside its area", "I999,int,holding_register,0,2,r\n", {}, "I999 lies outside the int area"},
    {"nothing mapped", "# empty\n", {}, "m.csv: the map maps no variable"},
};

class MapFile : public ::testing::TestWithParam<MapCase> {};

TEST_P(MapFile, IsAcceptedOrRefusedWithItsLine) {
    const MapCase& c = GetParam();
    const std::string text = std::string("name,type,table,address,registers,access\n") + c.lines;
    std::string error;
    try {
        parse_map(text, "m.csv", symbols(), symbols().counts, c.rules);
    } catch (const Failure& e) {
        error = e.what();
    }
    if (std::string(c.error).empty())
        EXPECT_EQ(error, "") << c.what;
    else
        EXPECT_NE(error.find(c.error), std::string::npos) << c.what << ": " << error;
}

INSTANTIATE_TEST_SUITE_P(Cases, MapFile, ::testing::ValuesIn(kMapCases));

std::string file_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// The controllers' default maps, which the README documents, stay as they
// are as long as their symbol files do (scripts/regenerate-golden.sh
// rewrites both).
class ControllerMap : public ::testing::TestWithParam<const char*> {};

TEST_P(ControllerMap, IsTheGoldenOne) {
    const std::string name = GetParam();
    const SymbolTable table = load_symbols(std::string(VX_GOLDEN_DIR) + "/" + name + "/" + name + ".vars");
    EXPECT_EQ(format_map(default_map(table, {})), file_text(std::string(VX_MAP_DIR) + "/" + name + ".map.csv"));
}

INSTANTIATE_TEST_SUITE_P(Controllers, ControllerMap,
                         ::testing::Values("tarvo", "melki", "melki_bis", "sorel", "sorel_bis", "conveyor", "pickplace"));

}  // namespace
}  // namespace vx::console::modbus
