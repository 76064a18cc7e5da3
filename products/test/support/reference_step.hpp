// The products step written the plain way, as the reference that the real
// step must equal: every live product is offered every other object through
// an intersection test per ordered pair, and product contacts found at the
// lower index's turn wait in a list that is searched linearly.
#pragma once

namespace vx::products::testing {

void reference_products_step();

}  // namespace vx::products::testing
