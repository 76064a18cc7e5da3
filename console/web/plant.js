// The plant from above: every live actor and product as the image of its
// unit square (the cube's bottom face) under its placement matrix, with its
// name. The view's bounds only grow, so that the picture does not jump as
// products come and go.
"use strict";

const Plant = (() => {
  const NS = "http://www.w3.org/2000/svg";
  const ALIVE = 1, PAD = 20;
  let objects = [], bounds = null, shapes = new Map();

  function corners(m) {
    // m: [status, m0, m1, m3, m4, m5, m7]
    const [, a, b, tx, c, d, ty] = m;
    return [[0, 0], [1, 0], [1, 1], [0, 1]].map(([u, v]) => [a * u + b * v + tx, c * u + d * v + ty]);
  }

  function grow(points) {
    for (const [x, y] of points) {
      if (!Number.isFinite(x) || !Number.isFinite(y)) return;
    }
    for (const [x, y] of points) {
      if (!bounds) bounds = { x0: x, x1: x, y0: y, y1: y };
      bounds.x0 = Math.min(bounds.x0, x); bounds.x1 = Math.max(bounds.x1, x);
      bounds.y0 = Math.min(bounds.y0, y); bounds.y1 = Math.max(bounds.y1, y);
    }
  }

  return {
    setup(svg, list) {
      objects = list || []; bounds = null; shapes = new Map();
      svg.textContent = "";
      for (const o of objects) {
        const g = document.createElementNS(NS, "g");
        g.setAttribute("data-name", o.name);
        const poly = document.createElementNS(NS, "polygon");
        poly.setAttribute("class", o.actor ? "actor" : "product");
        const label = document.createElementNS(NS, "text");
        label.textContent = o.name;
        g.append(poly, label);
        // Actors underneath, products on top.
        if (o.actor) svg.prepend(g); else svg.append(g);
        shapes.set(o.name, { g, poly, label });
      }
      return objects.length > 0;
    },
    update(svg, values) {
      if (!objects.length) return;
      const live = [];
      for (const o of objects) {
        const m = values["o." + o.name];
        const s = shapes.get(o.name);
        const alive = Array.isArray(m) && m[0] === ALIVE && m.slice(1).every(Number.isFinite);
        s.g.style.display = alive ? "" : "none";
        s.g.classList.toggle("killed", !alive);
        if (alive) { const pts = corners(m); grow(pts); live.push([s, pts]); }
      }
      if (!bounds) return;
      const w = svg.clientWidth || 600, h = svg.clientHeight || 260;
      const spanX = Math.max(bounds.x1 - bounds.x0, 1e-3), spanY = Math.max(bounds.y1 - bounds.y0, 1e-3);
      const scale = Math.min((w - 2 * PAD) / spanX, (h - 2 * PAD) / spanY);
      const sx = x => PAD + (x - bounds.x0) * scale;
      const sy = y => h - PAD - (y - bounds.y0) * scale;  // y points up
      svg.setAttribute("viewBox", `0 0 ${w} ${h}`);
      for (const [s, pts] of live) {
        s.poly.setAttribute("points", pts.map(([x, y]) => `${sx(x).toFixed(1)},${sy(y).toFixed(1)}`).join(" "));
        const cx = pts.reduce((t, p) => t + p[0], 0) / 4, cy = pts.reduce((t, p) => t + p[1], 0) / 4;
        s.label.setAttribute("x", sx(cx).toFixed(1));
        s.label.setAttribute("y", (sy(cy) + 4).toFixed(1));
      }
    },
  };
})();
