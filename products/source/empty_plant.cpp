// The table of a program that declares no actors or products: one record of
// zeros and all three counts 0. Generated glue that declares objects defines
// these four itself, and the linker then never takes this member from the
// library; it is kept apart from everything else for that reason.
#include "vx_products.h"

extern "C" {

ActeurProduit TableActeursProduits[1] = {};
int32_t NbActeurs = 0;
int32_t NbProduits = 0;
int32_t NbActeursEtProduits = 0;

}  // extern "C"
