// velmora-make-sample: writes the plain (unscrambled) sources of the sample data set, the list
// file and one parameter and one step data file per model, laid out after the register maps.
// The output is the same on every run; the build scrambles it into System/Data.
//
//   velmora-make-sample OUTDIR

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "model/register_map.h"

namespace velmora::tools {
namespace {

constexpr const char* kSetName = "VMA-Series";

// One value column of a model's files: the actuator variant whose values it holds.
struct ValueColumn {
    std::string heading;
    int lead;       // mm per turn
    int stroke;     // longest stroke, mm
    bool parallel;  // motor folded beside the rod
};

struct Model {
    std::string name;
    int size;  // frame size, drives forces
    std::vector<ValueColumn> columns;
};

const std::vector<Model>& Models() {
    static const std::vector<Model> models = {
        {"VMA10",
         10,
         {{"VMA10-L06", 6, 150, false},
          {"VMA10-L12", 12, 150, false},
          {"VMA10-L06P", 6, 100, true}}},
        {"VMA20", 20, {{"VMA20-L06", 6, 300, false}, {"VMA20-L12", 12, 300, false}}},
        {"VMA30", 30, {{"VMA30-L12", 12, 400, false}, {"VMA30-L12P", 12, 400, true}}},
    };
    return models;
}

// Columns: part number, model, controller, motor direction, lead, stroke, SV number, IO spec,
// parameter version, parameter file, step file, value column.
const char* const kListFile =
    "Part No.,Model,Controller,Motor direction,Lead,Stroke,SV No.,IO spec,Parameter version,"
    "Parameter file,Step file,Data column\n"
    "VMA10-06I,VMA10,VC-1A|VC-1B,Inline,6,50|100|150,1|1.1,NPN|PNP,P1.00,VMA10_param.csv,"
    "VMA10_step.csv,VMA10-L06\n"
    "VMA10-12I,VMA10,VC-1A|VC-1B,Inline,12,50|100|150,1|1.1,NPN|PNP,P1.00,VMA10_param.csv,"
    "VMA10_step.csv,VMA10-L12\n"
    "VMA10-06P,VMA10,VC-1A,Parallel,6,50|100,1.10,NPN|PNP,P1.01,VMA10_param.csv,"
    "VMA10_step.csv,VMA10-L06P\n"
    "VMA20-06I,VMA20,VC-2A,Inline,6,100|200|300,1.10|1.2,NPN|PNP,P2.00,VMA20_param.csv,"
    "VMA20_step.csv,VMA20-L06\n"
    "VMA20-12I,VMA20,VC-2A|VC-2B,Inline,12,100|200|300,1.10|1.2,PNP,P2.00,VMA20_param.csv,"
    "VMA20_step.csv,VMA20-L12\n"
    "VMA30-12I,VMA30,VC-2B,Inline,12,200|400,1.2,NPN|PNP,P3.00,VMA30_param.csv,"
    "VMA30_step.csv,VMA30-L12\n"
    "VMA30-12P,VMA30,VC-2B,Parallel,12,200|400,1.2,PNP,P3.00,VMA30_param.csv,"
    "VMA30_step.csv,VMA30-L12P\n";

std::string Hex4(unsigned reg) {
    char text[8];
    std::snprintf(text, sizeof text, "D%04X", reg);
    return text;
}

// The key as a readable name: "Max speed=" -> "Max speed", "0692=0" -> "0692".
std::string NameOf(const std::string& key) {
    return key.substr(0, key.find('='));
}

std::string GroupOf(unsigned reg) {
    if (reg < 32)
        return "Basic";
    if (reg < 48)
        return "Origin";
    if (reg < 64)
        return "Operation";
    if (reg < 88)
        return "Motor";
    if (reg < 112)
        return "Defaults";
    if (reg < 256)
        return "Maker";
    if (reg < 352)
        return "IO function";
    return "Reserved";
}

// Invented but plausible values; anything not named gets a value that varies with the register
// and the column, so that every column has its own checksum.
long ParameterValue(const std::string& key, unsigned reg, int half, Packing packing,
                    const Model& model, const ValueColumn& column, int columnIndex) {
    const int lead = column.lead;
    if (key == "Controller ID=")
        return 1;
    if (key == "IO patern=")
        return 0;
    if (key == "ACC/DEC pattern=")
        return 1;
    if (key == "S-motion rate=")
        return 50;
    if (key == "Stroke(+)")
        return column.stroke * 100L;
    if (key == "Stroke(-)")
        return -50;
    if (key == "Max speed=")
        return lead * 50L;
    if (key == "Max ACC/DEC=")
        return lead == 6 ? 300 : 500;
    if (key == "Def In position=")
        return 10;
    if (key == "ORIG offset=")
        return column.parallel ? 150 : 0;
    if (key == "Max force=")
        return 60 + model.size;
    if (key == "Para protect=")
        return 200;
    if (key == "Enable SW=")
        return 1;
    if (key == "Option set1=" || key == "ORIG direction=")
        return column.parallel ? 1 : 0;
    if (key == "ORIG limit=")
        return 40;
    if (key == "ORIG time=")
        return 30;
    if (key == "ORIG speed=")
        return lead * 5L;
    if (key == "ORIG ACC/DEC=")
        return 100;
    if (key == "Creep speed=")
        return 5;
    if (key == "JOG speed=")
        return lead * 10L;
    if (key == "JOG Accel=" || key == "JOG Decel=")
        return 100;
    if (key == "JOG force=")
        return 50;
    if (key == "Move distance=")
        return 100;
    if (key.size() > 2 && key.compare(key.size() - 2, 2, "=0") == 0)
        return 0;
    switch (packing) {
        case Packing::BytePair:
            return (reg * 7 + static_cast<unsigned>(half) * 3 + model.size +
                    static_cast<unsigned>(columnIndex)) %
                   100;
        case Packing::Word:
            return (reg * 31 + static_cast<unsigned>(model.size) * 7 +
                    static_cast<unsigned>(lead)) %
                   2000;
        default:
            return (reg * 97 + static_cast<unsigned>(model.size) * 13 +
                    static_cast<unsigned>(lead) * 5 + static_cast<unsigned>(columnIndex)) %
                   50000;
    }
}

// One line: fixed cells, then one value per column (an empty cell for "no value").
class CsvWriter {
  public:
    explicit CsvWriter(std::size_t columns) : sums_(columns, 0) {}

    void Line(const std::string& cells) { text_ += cells + "\r\n"; }
    void Row(const std::string& cells, const std::vector<long>& values) {
        std::string line = cells;
        for (std::size_t c = 0; c < sums_.size(); ++c) {
            line += "," + std::to_string(values[c]);
            sums_[c] += values[c];
        }
        Line(line);
    }
    void EmptyValues(const std::string& cells) { Line(cells + std::string(sums_.size(), ',')); }
    void SumLine(const std::string& cells) {
        std::string line = cells;
        for (long sum : sums_) {
            line += "," + std::to_string(sum);
        }
        Line(line);
    }
    const std::string& text() const { return text_; }

  private:
    std::string text_;
    std::vector<long> sums_;
};

std::string Headings(const Model& model) {
    std::string text;
    for (const auto& column : model.columns) {
        text += "," + column.heading;
    }
    return text;
}

// Register cell one left of "No." and the kind five right of it: Group, Register, No., Name,
// Unit, Min, Max, Kind, values.
std::string ParameterFile(const Model& model) {
    CsvWriter out(model.columns.size());
    out.Line("Parameter data," + model.name);
    out.Line(std::string("Sample set,") + kSetName + ",made by velmora-make-sample");
    out.Line("Group,Register,No.,Name,Unit,Min,Max,Kind" + Headings(model));
    int number = 1;
    auto cells = [&](const std::string& reg, unsigned groupReg, const std::string& name,
                     const char* limits, const char* kind) {
        return GroupOf(groupReg) + "," + reg + "," + std::to_string(number++) + "," + name + ",," +
               limits + "," + kind;
    };
    auto values = [&](const std::string& key, const RegisterUnit& unit, int half) {
        std::vector<long> result;
        for (std::size_t c = 0; c < model.columns.size(); ++c) {
            result.push_back(ParameterValue(key, unit.reg, half, unit.packing, model,
                                            model.columns[c], static_cast<int>(c)));
        }
        return result;
    };
    for (const RegisterUnit& unit : ParameterMap()) {
        const std::string key(unit.key.view());
        switch (unit.packing) {
            case Packing::BytePair: {
                const std::string second(unit.secondKey.view());
                out.Row(cells(Hex4(unit.reg), unit.reg, NameOf(key), "0,255", "W"),
                        values(key, unit, 0));
                out.Row(cells("", unit.reg, NameOf(second), "0,255", ""), values(second, unit, 1));
                break;
            }
            case Packing::Dword:
                out.Row(
                    cells(Hex4(unit.reg), unit.reg, NameOf(key), "-2147483648,2147483647", "2W"),
                    values(key, unit, 0));
                // The second register of a 32-bit value: written from the row above.
                out.EmptyValues(cells("", unit.reg, "", ",", ""));
                break;
            case Packing::Text16:
                // The unit name is written from the part number; its registers are listed with
                // a kind the writer passes over.
                for (unsigned reg = unit.reg; reg < unit.reg + 8u; ++reg) {
                    std::vector<long> zeros(model.columns.size(), 0);
                    out.Row(cells(Hex4(reg), unit.reg, "Unit name (part number)", ",", "STR"),
                            zeros);
                }
                break;
            case Packing::Word:
                out.Row(cells(Hex4(unit.reg), unit.reg, NameOf(key), "0,65535", "W"),
                        values(key, unit, 0));
                break;
        }
    }
    // The register cell of the sum line must not be empty: the writer would take the last
    // register's row and this line for a byte pair.
    out.SumLine(",Sum,,Checksum,,,,sum");
    return out.text();
}

const char* const kStepRowNames[16] = {"Mode",         "Speed",
                                       "Position",     "",
                                       "Acceleration", "Deceleration",
                                       "Push force",   "Trigger level",
                                       "Push speed",   "Hold force",
                                       "Area 1",       "",
                                       "Area 2",       "",
                                       "In position",  ""};

long StepValue(int step, int row, const ValueColumn& column, int columnIndex) {
    if (step >= 8)
        return 0;  // only the first eight steps are set up
    switch (row) {
        case 0:
            return 1;
        case 1:
            return column.lead * 10L + step * 5L;
        case 2:
            return (step + 1L) * column.stroke * 100L / 8;
        case 4:
        case 5:
            return 100 + step * 10L;
        case 6:
            return step % 2 == 1 ? 50 : 0;
        case 8:
            return 20;
        case 9:
            return 30;
        case 10:
            return -100;
        case 12:
            return column.stroke * 100L;
        case 14:
            return 10L + columnIndex;
        default:
            return 0;
    }
}

// Step number where a block starts, row number within it, kind in field 7.
std::string StepFile(const Model& model) {
    CsvWriter out(model.columns.size());
    out.Line("Step data," + model.name);
    out.Line(std::string("Sample set,") + kSetName + ",made by velmora-make-sample");
    out.Line("Section,,Step,Row,Name,Unit,Register,Kind" + Headings(model));
    // The packing of each of a step's 16 registers, and whether it is a dword's second half.
    Packing packings[kStepRegCount]{};
    bool seconds[kStepRegCount]{};
    for (const RegisterUnit& unit : StepMap()) {
        const unsigned offset = unit.reg - kStepFirstReg;
        packings[offset] = unit.packing;
        if (unit.packing == Packing::Dword) {
            packings[offset + 1] = unit.packing;
            seconds[offset + 1] = true;
        }
    }
    for (int step = 0; step < static_cast<int>(kStepCount); ++step) {
        for (int row = 0; row < static_cast<int>(kStepRegCount); ++row) {
            const bool second = seconds[row];
            const bool dword = packings[row] == Packing::Dword;
            const std::string cells = std::string(row == 0 ? "Steps" : "") + ",," +
                                      (row == 0 ? std::to_string(step) : std::string()) + "," +
                                      std::to_string(row) + "," + kStepRowNames[row] + ",," +
                                      Hex4(kStepFirstReg + static_cast<unsigned>(row) +
                                           16u * static_cast<unsigned>(step)) +
                                      "," +
                                      (second  ? ""
                                       : dword ? "2W"
                                               : "W");
            if (second) {
                out.EmptyValues(cells);
                continue;
            }
            std::vector<long> values;
            for (std::size_t c = 0; c < model.columns.size(); ++c) {
                values.push_back(StepValue(step, row, model.columns[c], static_cast<int>(c)));
            }
            out.Row(cells, values);
        }
    }
    out.SumLine(",,,,Checksum,,,sum");
    return out.text();
}

std::string WithCrLf(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c == '\n')
            out += '\r';
        out += c;
    }
    return out;
}

bool Save(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::fprintf(stderr, "velmora-make-sample: cannot write %s\n", path.string().c_str());
        return false;
    }
    return true;
}

}  // namespace

int Main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: velmora-make-sample OUTDIR\n");
        return 2;
    }
    const std::filesystem::path folder = std::filesystem::path(argv[1]) / kSetName;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        std::fprintf(stderr, "velmora-make-sample: cannot make %s\n", folder.string().c_str());
        return 1;
    }
    bool ok = Save(folder / "AdapterFile.vms", WithCrLf(kListFile));
    for (const Model& model : Models()) {
        ok = Save(folder / (model.name + "_param.csv"), ParameterFile(model)) && ok;
        ok = Save(folder / (model.name + "_step.csv"), StepFile(model)) && ok;
    }
    return ok ? 0 : 1;
}

}  // namespace velmora::tools

int main(int argc, char** argv) {
    return velmora::tools::Main(argc, argv);
}
