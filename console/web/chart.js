// The Grafcet as SVG: each component laid out in layers (a step one layer
// below the step that first reaches it from the initial steps), components
// side by side. A transition is a bar under its upstream step with its
// receptivity beside it; a transition that leads back up runs along a lane
// on the component's right.
"use strict";

const Chart = (() => {
  const NS = "http://www.w3.org/2000/svg";
  const BOX = 36, ROW = 104, MARGIN = 24, LANE = 12, TEXT_MAX = 44, CHAR = 6.6;

  function el(name, attrs, parent) {
    const e = document.createElementNS(NS, name);
    for (const [k, v] of Object.entries(attrs || {})) e.setAttribute(k, v);
    if (parent) parent.appendChild(e);
    return e;
  }

  function text(parent, x, y, content, cls, full) {
    const t = el("text", { x, y, class: cls || "" }, parent);
    t.textContent = content;
    if (full && full !== content) el("title", {}, t).textContent = full;
    return t;
  }

  function shorten(s) { return s.length > TEXT_MAX ? s.slice(0, TEXT_MAX - 1) + "…" : s; }

  // Layers by breadth-first search from the initial steps (then from any
  // step not reached yet), columns by order of discovery within a layer.
  function layers(steps, transitions) {
    const next = new Map(steps.map(s => [s.number, []]));
    for (const t of transitions) if (next.has(t.from)) next.get(t.from).push(t.to);
    const layer = new Map();
    const order = [];
    const visit = roots => {
      const queue = [];
      for (const r of roots) if (!layer.has(r)) { layer.set(r, 0); queue.push(r); }
      while (queue.length) {
        const s = queue.shift();
        order.push(s);
        for (const n of next.get(s) || []) {
          if (next.has(n) && !layer.has(n)) { layer.set(n, layer.get(s) + 1); queue.push(n); }
        }
      }
    };
    visit(steps.filter(s => s.initial).map(s => s.number));
    for (const s of steps) if (!layer.has(s.number)) {
      const base = layer.size ? Math.max(...layer.values()) + 1 : 0;
      layer.set(s.number, base);
      visit([s.number]);
    }
    const column = new Map(), used = new Map();
    for (const s of order) {
      const l = layer.get(s), c = used.get(l) || 0;
      column.set(s, c);
      used.set(l, c + 1);
    }
    return { layer, column };
  }

  function drawComponent(svg, graph, index, left) {
    const steps = graph.steps.filter(s => s.component === index);
    const transitions = graph.transitions.filter(t => t.component === index);
    const { layer, column } = layers(steps, transitions);
    const longest = Math.max(0, ...transitions.map(t => Math.min(t.receptivity.length, TEXT_MAX)),
                             ...steps.map(s => s.actions.join(", ").length));
    const colWidth = BOX + 40 + longest * CHAR;
    const g = el("g", { class: "component" }, svg);
    const top = MARGIN + 20;
    text(g, left, MARGIN, graph.components[index] || "", "component-name");
    const pos = new Map();
    for (const s of steps) {
      pos.set(s.number, { x: left + column.get(s.number) * colWidth, y: top + layer.get(s.number) * ROW });
    }
    const columns = Math.max(1, ...[...column.values()].map(c => c + 1));
    const right = left + (columns - 1) * colWidth + BOX;
    const textRight = left + columns * colWidth;
    const outgoing = new Map();
    let lanes = 0;
    const links = el("g", {}, g);
    const placed = [];
    // A bar that would cover another moves right, past the other's text.
    const free = (x, y) => {
      for (const b of placed) if (Math.abs(b.y - y) < 14 && x > b.x - 20 && x < b.x + 26 + b.width) x = b.x + 30 + b.width;
      return x;
    };
    for (const t of transitions) {
      const from = pos.get(t.from), to = pos.get(t.to);
      if (!from || !to) continue;
      const k = outgoing.get(t.from) || 0, n = transitions.filter(u => u.from === t.from).length;
      outgoing.set(t.from, k + 1);
      const sx = from.x + BOX / 2, sy = from.y + BOX;
      const tx = to.x + BOX / 2, ty = to.y;
      const forward = to.y > from.y;
      // A choice between several transitions: each bar over its own branch.
      let bx = n > 1 && forward ? tx : sx + (n > 1 ? k * 22 : 0);
      const by = forward && n > 1 ? ty - 30 : sy + 26;
      bx = free(bx, by);
      const label = shorten(t.receptivity);
      placed.push({ x: bx, y: by, width: label.length * CHAR });
      let points;
      if (forward) {
        points = [[sx, sy], [sx, sy + 8], [bx, sy + 8], [bx, ty - 14], [tx, ty - 14], [tx, ty]];
      } else {
        const lane = textRight + LANE * lanes++;
        points = [[sx, sy], [sx, sy + 8], [bx, sy + 8], [bx, by + 16], [lane, by + 16], [lane, ty - 14], [tx, ty - 14], [tx, ty]];
      }
      el("polyline", { class: "link", points: points.map(p => p.join(",")).join(" ") }, links);
      el("polygon", { class: "arrow", points: `${tx - 4},${ty - 7} ${tx + 4},${ty - 7} ${tx},${ty}` }, links);
      const bar = el("line", { class: "bar", x1: bx - 9, y1: by, x2: bx + 9, y2: by, "data-from": t.from, "data-to": t.to }, g);
      text(g, bx + 13, by + 4, label, "receptivity", t.receptivity);
      Chart.bars.push({ bar, from: t.from });
    }
    for (const s of steps) {
      const p = pos.get(s.number);
      const sg = el("g", { class: "step", "data-step": s.number, id: "step-" + s.number }, g);
      el("rect", { class: "frame", x: p.x, y: p.y, width: BOX, height: BOX }, sg);
      if (s.initial) el("rect", { x: p.x + 4, y: p.y + 4, width: BOX - 8, height: BOX - 8 }, sg);
      text(sg, p.x + BOX / 2, p.y + BOX / 2 + 4, String(s.number), "number");
      el("circle", { class: "token", cx: p.x + BOX - 7, cy: p.y + BOX - 7, r: 4 }, sg);
      Chart.steps.set(s.variable, sg);
      if (s.actions.length) {
        const label = s.actions.join(", ");
        const ag = el("g", { class: "action" }, g);
        const ax = p.x + BOX + 12, w = label.length * CHAR + 12;
        el("line", { class: "link", x1: p.x + BOX, y1: p.y + BOX / 2, x2: ax, y2: p.y + BOX / 2 }, ag);
        el("rect", { x: ax, y: p.y + 6, width: w, height: BOX - 12 }, ag);
        text(ag, ax + 6, p.y + BOX / 2 + 4, label);
        Chart.actions.push({ group: ag, step: s.variable });
      }
    }
    const depth = Math.max(0, ...layer.values());
    return { width: textRight + LANE * lanes - left + 20, height: top + depth * ROW + BOX + 60 };
  }

  const Chart = {
    steps: new Map(), bars: [], actions: [],
    draw(svg, graph, missing) {
      svg.textContent = "";
      Chart.steps = new Map(); Chart.bars = []; Chart.actions = [];
      if (!graph) {
        text(svg, 10, 20, missing);
        svg.setAttribute("width", 400); svg.setAttribute("height", 40);
        return;
      }
      let left = MARGIN, height = 0;
      graph.components.forEach((_, i) => {
        const size = drawComponent(svg, graph, i, left);
        left += size.width + 30;
        height = Math.max(height, size.height);
      });
      svg.setAttribute("width", left);
      svg.setAttribute("height", height);
      svg.setAttribute("viewBox", `0 0 ${left} ${height}`);
    },
    // Lights the active steps (their X_n is 1) and the actions they set.
    update(values) {
      for (const [variable, g] of Chart.steps) g.classList.toggle("active", values["v." + variable] === 1);
      for (const a of Chart.actions) a.group.classList.toggle("on", values["v." + a.step] === 1);
      for (const b of Chart.bars) {
        const g = Chart.steps.get("X_" + b.from);
        b.bar.classList.toggle("ready", !!g && g.classList.contains("active"));
      }
    },
  };
  return Chart;
})();
