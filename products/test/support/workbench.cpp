#include "workbench.hpp"

#include <cstring>

#include "vx/numbers.hpp"

// The bench is the program: it defines the table that generated glue would.
extern "C" {
ActeurProduit TableActeursProduits[vx::products::testing::kBenchRecords];
int32_t NbActeurs = 0;
int32_t NbProduits = 0;
int32_t NbActeursEtProduits = 0;
}

namespace vx::products::testing {
namespace {

// Cells below these belong to the runtime in a program; the bench keeps the
// same floors so that indexes look like a program's.
constexpr std::int32_t kFirstBool = 5;
constexpr std::int32_t kFirstInt = 523;
constexpr std::int32_t kFirstFloat = 17;
constexpr std::int32_t kFirstChar = 53;

}  // namespace

Workbench::Workbench(std::int32_t actors, const std::vector<PlannedObject>& objects) {
    const auto n = static_cast<std::int32_t>(objects.size());
    if (n > kBenchRecords) return;
    bools_.resize(static_cast<std::size_t>(kFirstBool + n));
    ints_.resize(static_cast<std::size_t>(kFirstInt + n * kIntsPerObject));
    floats_.resize(static_cast<std::size_t>(kFirstFloat + n * 16));
    chars_.resize(static_cast<std::size_t>(kFirstChar + n));
    mem = VX_Areas{bools_.data(), ints_.data(), floats_.data(), chars_.data()};
    memSize = VX_Sizes{static_cast<std::int32_t>(bools_.size()), static_cast<std::int32_t>(ints_.size()),
                       static_cast<std::int32_t>(floats_.size()), static_cast<std::int32_t>(chars_.size())};
    for (std::int32_t i = 0; i < n; ++i) {
        const PlannedObject& planned = objects[static_cast<std::size_t>(i)];
        ActeurProduit& r = TableActeursProduits[i];
        r = ActeurProduit{};
        r.startBool = kFirstBool + i;
        r.startInt = kFirstInt + i * kIntsPerObject;
        r.startFloat = kFirstFloat + i * 16;
        r.startChar = kFirstChar + i;
        r.model = planned.model;
        r.initialStatus = planned.status;
        r.actorId = planned.actorId;
        for (int k = 0; k < 16; ++k) {
            vx_store_f32(&floats_[static_cast<std::size_t>(r.startFloat + k)].cur, vx::to_float(planned.placement.entry[k]));
        }
    }
    NbActeurs = actors;
    NbProduits = n - actors;
    NbActeursEtProduits = n;
    bound_ = produitsInit() == 1;
}

Workbench::~Workbench() {
    NbActeurs = NbProduits = NbActeursEtProduits = 0;
    produitsInit();
    mem = VX_Areas{};
    memSize = VX_Sizes{};
    self = VX_Areas{};
    otherPointers = ObjectCells{};
}

IntCell& Workbench::status(std::int32_t i) { return *TableActeursProduits[i].cells.intCells; }

FloatCell* Workbench::matrix_cells(std::int32_t i) { return TableActeursProduits[i].cells.floatCells; }

IntCell& Workbench::own_int(std::int32_t i, std::int32_t n) { return TableActeursProduits[i].cells.intCells[1 + n]; }

Matrix Workbench::placement(std::int32_t i) { return createMatrixFrom_(TableActeursProduits[i].cells); }

void Workbench::place(std::int32_t i, const Matrix& m) { saveMatrix_on_(m, TableActeursProduits[i].cells); }

std::vector<std::uint32_t> Workbench::cell_words() const {
    std::vector<std::uint32_t> words;
    words.reserve(ints_.size() + floats_.size());
    for (const IntCell& c : ints_) words.push_back(static_cast<std::uint32_t>(c.cur));
    for (const FloatCell& c : floats_) {
        std::uint32_t bits = 0;
        std::memcpy(&bits, &c.cur, sizeof bits);
        words.push_back(bits);
    }
    return words;
}

Matrix placement_of(Vector at, Vector degrees, Vector sizes) {
    constexpr double kPi = 3.1415926535898;
    const Vector ones{1.0, 1.0, 1.0};
    Matrix m = mulMatrix_with_(mRotationY(kPi * degrees.y / 180.0), ones, mRotationX(kPi * degrees.x / 180.0), ones);
    m = mulMatrix_with_(mRotationZ(kPi * degrees.z / 180.0), ones, m, ones);
    m = mulMatrix_with_(m, ones, mScale(sizes.x, sizes.y, sizes.z), ones);
    return mulMatrix_with_(mTranslation(at.x, at.y, at.z), ones, m, ones);
}

}  // namespace vx::products::testing
