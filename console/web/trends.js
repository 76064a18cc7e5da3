// Trends: the last 30 s of a few variables, one lane each; bools as steps,
// numbers as lines scaled to what the window holds. Samples are the values
// as they changed; the picture is redrawn a few times a second unless paused.
"use strict";

const Trends = (() => {
  const WINDOW = 30000, LANE = 56, GAP = 10, LEFT = 170, COLOURS = ["#1f6feb", "#d1242f", "#1a7f37", "#8250df", "#bc4c00", "#0a7b83", "#6e7781", "#bf3989"];
  const series = new Map();  // name -> {bool, points: [[t, v]]}
  let paused = false, pausedAt = 0;

  function draw(canvas) {
    const now = paused ? pausedAt : performance.now();
    const names = [...series.keys()];
    const height = Math.max(names.length * (LANE + GAP), 10);
    const ratio = window.devicePixelRatio || 1;
    const width = canvas.clientWidth || 900;
    if (canvas.width !== Math.round(width * ratio) || canvas.height !== Math.round(height * ratio)) {
      canvas.width = Math.round(width * ratio); canvas.height = Math.round(height * ratio);
      canvas.style.height = height + "px";
    }
    const ctx = canvas.getContext("2d");
    ctx.setTransform(ratio, 0, 0, ratio, 0, 0);
    ctx.clearRect(0, 0, width, height);
    ctx.font = "12px system-ui, sans-serif";
    const tx = t => LEFT + (width - LEFT - 10) * (1 - (now - t) / WINDOW);
    names.forEach((name, i) => {
      const s = series.get(name), top = i * (LANE + GAP), colour = COLOURS[i % COLOURS.length];
      while (s.points.length > 1 && s.points[1][0] < now - WINDOW) s.points.shift();
      const values = s.points.map(p => p[1]).filter(Number.isFinite);
      let lo = s.bool ? 0 : Math.min(...values), hi = s.bool ? 1 : Math.max(...values);
      if (!Number.isFinite(lo)) { lo = 0; hi = 1; }
      if (hi === lo) { hi += 1; lo -= 1; }
      const ty = v => top + 4 + (LANE - 8) * (1 - (v - lo) / (hi - lo));
      ctx.fillStyle = "#f3f5f8"; ctx.fillRect(LEFT, top, width - LEFT - 10, LANE);
      ctx.fillStyle = colour; ctx.fillText(name, 4, top + 16);
      ctx.fillStyle = "#6b7485";
      const last = s.points.length ? s.points[s.points.length - 1][1] : "";
      ctx.fillText(s.bool ? `= ${last}` : `= ${last}  [${+lo.toPrecision(4)} … ${+hi.toPrecision(4)}]`, 4, top + 34);
      ctx.strokeStyle = colour; ctx.lineWidth = 1.5; ctx.beginPath();
      let started = false, prevY = 0;
      for (const [t, v] of s.points) {
        if (!Number.isFinite(v)) { started = false; continue; }
        const x = Math.max(tx(t), LEFT), y = ty(v);
        if (!started) { ctx.moveTo(x, y); started = true; }
        else if (s.bool) { ctx.lineTo(x, prevY); ctx.lineTo(x, y); }
        else ctx.lineTo(x, y);
        prevY = y;
      }
      if (started) ctx.lineTo(tx(now), prevY);
      ctx.stroke();
    });
  }

  return {
    has: name => series.has(name),
    toggle(name, bool, value) {
      if (series.has(name)) series.delete(name);
      else series.set(name, { bool, points: [[performance.now(), value]] });
      return series.has(name);
    },
    clear() { series.clear(); },
    names: () => [...series.keys()],
    record(name, value) {
      const s = series.get(name);
      if (s && !paused) s.points.push([performance.now(), typeof value === "number" ? value : NaN]);
    },
    pause(canvas) { paused = !paused; pausedAt = performance.now(); draw(canvas); return paused; },
    draw,
  };
})();
