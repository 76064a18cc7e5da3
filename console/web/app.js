// The web view: the program's description from /api/program, its state from
// the event stream (the whole state, then what changed), and the writes
// (controls, set, force, unforce) sent with the session token that the URL's
// fragment carries.
"use strict";

(() => {
  const $ = id => document.getElementById(id);
  const token = new URLSearchParams(location.hash.slice(1)).get("token") || "";
  let program = null, values = {}, dirty = new Set(), rows = new Map(), hasPlant = false, generation = -1;
  let readOnly = true;

  function show(id, text) { const e = $(id); e.textContent = text || ""; e.hidden = !text; }
  function number(v, digits) { return typeof v === "number" ? v.toFixed(digits) : String(v); }
  function micro(v) { return typeof v === "number" ? (v / 1000).toFixed(v < 10000 ? 2 : 1) + " ms" : String(v); }

  async function write(path, body) {
    try {
      const res = await fetch(path, { method: "POST", headers: { "Content-Type": "application/json", "X-VX-Token": token }, body: JSON.stringify(body) });
      const answer = await res.json().catch(() => ({ error: `${res.status} ${res.statusText}` }));
      show("message", res.ok ? "" : answer.error || `${res.status}`);
      return res.ok;
    } catch (e) {
      show("message", "vxctl web does not answer: " + e.message);
      return false;
    }
  }

  function buildTable() {
    const body = document.querySelector("#variables tbody");
    body.textContent = "";
    rows = new Map();
    const editable = !readOnly;
    for (const [name, type, index, role] of program.symbols || []) {
      const tr = document.createElement("tr");
      tr.dataset.name = name;
      const trend = document.createElement("input");
      trend.type = "checkbox";
      trend.checked = Trends.has(name);
      trend.addEventListener("change", () => {
        const on = Trends.toggle(name, type === "B", values["v." + name]);
        trend.checked = on;
        $("trend-hint").hidden = Trends.names().length > 0;
      });
      const cells = [trend, name, role, type + index];
      for (const c of cells) {
        const td = document.createElement("td");
        if (c instanceof Node) td.append(c); else td.textContent = c;
        tr.append(td);
      }
      const value = document.createElement("td");
      value.className = "value";
      const lamp = type === "B" && role === "output" ? document.createElement("span") : null;
      if (lamp) lamp.className = "lamp";
      const text = document.createElement("span");
      value.append(...(lamp ? [lamp, text] : [text]));
      tr.append(value);
      const edit = document.createElement("td");
      edit.className = "edit";
      if (editable && role !== "control") {
        const input = document.createElement("input");
        input.placeholder = type === "B" ? "0/1" : "value";
        input.setAttribute("aria-label", "value for " + name);
        const button = (label, action) => {
          const b = document.createElement("button");
          b.textContent = label;
          b.className = label.toLowerCase();
          b.addEventListener("click", action);
          return b;
        };
        edit.append(input,
          button("Set", () => write("/api/set", { name, value: input.value })),
          button("Force", () => write("/api/force", { name, value: input.value })),
          button("Unforce", () => write("/api/unforce", { name })));
      }
      tr.append(edit);
      body.append(tr);
      rows.set(name, { tr, text, lamp });
    }
    filter();
  }

  function filter() {
    const f = $("filter").value.trim().toLowerCase();
    for (const [name, r] of rows) r.tr.hidden = f !== "" && !name.toLowerCase().includes(f) && !r.tr.children[2].textContent.includes(f);
  }

  async function loadProgram() {
    const res = await fetch("/api/program");
    program = await res.json();
    generation = program.generation;
    readOnly = program.read_only || !token;
    $("program").textContent = program.program || "no program";
    $("block").textContent = `block "${program.block}"` + (readOnly ? (program.read_only ? " · read-only" : " · no token: view only") : "");
    document.title = "vx · " + (program.program || program.block);
    for (const b of document.querySelectorAll("#controls button")) b.disabled = readOnly;
    Chart.draw($("chart"), program.graph, program.program ? "No graph file beside the program's symbol file." : "Waiting for a program.");
    // When the chart was first drawn, for the browser test's figure.
    if (program.graph && window.vxChartDrawn === undefined) window.vxChartDrawn = performance.now();
    hasPlant = Plant.setup($("plant"), program.objects);
    $("plant-section").hidden = !hasPlant;
    $("chart-section").classList.toggle("wide", !hasPlant);
    Trends.clear();
    buildTable();
    render(true);
  }

  function renderStatus() {
    const attached = values["s.attached"] === true, alive = values["s.alive"] === true;
    const status = $("status");
    status.textContent = !attached ? "no program" : alive ? values["s.status"] : "ENDED";
    status.className = "badge " + (!attached || !alive ? "gone" : values["s.status"]);
    $("counter").textContent = values["s.counter"] ?? "–";
    $("period").textContent = values["s.period"] !== undefined ? micro(values["s.period"]) : "–";
    $("durations").textContent = values["s.mean"] !== undefined
      ? `mean ${micro(values["s.mean"])}, min ${micro(values["s.min"])}, max ${micro(values["s.max"])}, ${number(values["s.changes"], 2)} changes/cycle` : "–";
    if (!attached) show("banner", `No program has laid out shared block "${program ? program.block : ""}" yet: waiting for one.`);
    else if (!alive) show("banner", "The program has ended. The view reconnects when a program lays out the block again.");
    else show("banner", "");
    const held = values["s.held"], report = values["s.report"], debug = $("debug");
    debug.className = held ? "held" : "";
    debug.textContent = (held ? `Held at a breakpoint: location ${held[0]}, instance ${held[1]}. ` : "") +
      (Array.isArray(report) ? `Last debug report: location ${report[0]}, code ${report[1]}, type ${report[2]}, rank ${report[3]}.` : "");
  }

  function render(all) {
    renderStatus();
    Chart.update(values);
    if (hasPlant) Plant.update($("plant"), values);
    for (const [name, r] of rows) {
      if (!all && !dirty.has("v." + name) && !dirty.has("f." + name)) continue;
      const v = values["v." + name];
      r.text.textContent = v === undefined ? "–" : String(v);
      if (r.lamp) r.lamp.classList.toggle("on", v === 1);
      r.tr.classList.toggle("forced", values["f." + name] === true);
    }
    dirty.clear();
  }

  let scheduled = false;
  function apply(changes, replace) {
    if (replace) values = {};
    for (const [k, v] of Object.entries(changes)) {
      if (v === null) delete values[k]; else values[k] = v;
      dirty.add(k);
      if (k.startsWith("v.")) Trends.record(k.slice(2), v);
    }
    if (!scheduled) {
      scheduled = true;
      requestAnimationFrame(() => { scheduled = false; render(replace); });
    }
  }

  function connect() {
    const events = new EventSource("/api/events");
    events.addEventListener("program", async e => {
      const data = JSON.parse(e.data);
      if (data.generation !== generation) await loadProgram();
      apply(data.state, true);
      render(true);
      show("message", "");
    });
    events.addEventListener("delta", e => apply(JSON.parse(e.data), false));
    events.onerror = () => {
      // The browser tries again by itself; say so meanwhile.
      if (events.readyState !== EventSource.OPEN) show("banner", "Lost the connection to vxctl web: reconnecting…");
    };
  }

  for (const b of document.querySelectorAll("#controls button"))
    b.addEventListener("click", () => write("/api/control", { command: b.dataset.command }));
  $("filter").addEventListener("input", filter);
  $("pause").addEventListener("click", () => { $("pause").textContent = Trends.pause($("trends")) ? "Resume" : "Pause"; });
  setInterval(() => { if (Trends.names().length && $("pause").textContent === "Pause") Trends.draw($("trends")); }, 100);

  loadProgram().then(connect).catch(e => show("message", "cannot load the program's description: " + e.message));
})();
