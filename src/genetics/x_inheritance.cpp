#include "genetics/x_inheritance.hpp"

namespace quillon {

bool x_pair_explains_children(const famdat& fam, int a, int m) {
    for (int j = 3; j <= fam.ninfam; ++j) {
        const int g = fam.famgeno[j];
        const int sex = fam.sex[j];
        if (g == -1 || (sex != 1 && sex != 2)) continue;
        if (x_transmission(sex, a, m, g) == 0.0) return false;
    }
    return true;
}

bool x_store_consistent_pairs(famdat& fam) {
    const int father = fam.famgeno[1];
    const int mother = fam.famgeno[2];
    if (father < -1 || father > 1 || mother < -1 || mother > 2) return false;
    for (int j = 3; j <= fam.ninfam; ++j) {
        const int g = fam.famgeno[j];
        if (g < -1 || g > (fam.sex[j] == 1 ? 1 : 2)) return false;
    }
    int pairs[xparentpairs][2] = {};
    int n = 0;
    for (int a = 0; a <= 1; ++a) {
        if (father != -1 && a != father) continue;
        for (int m = 0; m <= 2; ++m) {
            if (mother != -1 && m != mother) continue;
            if (!x_pair_explains_children(fam, a, m)) continue;
            pairs[n][0] = a;
            pairs[n][1] = m;
            ++n;
        }
    }
    if (n == 0) return false;
    room_for_pairs(fam, n);
    fam.npgeno = n;
    for (int k = 0; k < n; ++k) {
        fam.pgenos[k + 1][1] = pairs[k][0];
        fam.pgenos[k + 1][2] = pairs[k][1];
    }
    return true;
}

}  // namespace quillon
