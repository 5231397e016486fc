// Script of report.html. The program writes the chart specifications and the
// data as one JSON object (element #tacsim-data); this script draws the
// charts with vega-embed, swaps the data of the per-set charts when another
// option set is chosen and fills the sortable statistics table. A page of
// several runs holds the sets of every run one run after the other
// (D.setRun: the run of each; D.runs: each run's name, years and single
// iterations); a set is known by its place in that list.
(function () {
  'use strict';
  const D = JSON.parse(document.getElementById('tacsim-data').textContent);
  const views = {};                 // chart id -> Vega view
  window.tacsimViews = views;       // for the browser check
  window.tacsimReady = false;
  window.tacsimPending = 0;         // drawings queued or in progress (the browser check waits for 0)
  // Drawings run one after the other, in the order they were asked for.
  let queue = Promise.resolve();
  const track = (draw) => {
    window.tacsimPending += 1;
    queue = queue.then(draw).catch((e) => console.error('report: ' + (e && e.message ? e.message : e)))
      .finally(() => { window.tacsimPending -= 1; });
  };
  // Each chart's menu offers its figure as SVG or PNG, drawn in the page
  // (nothing leaves it).
  const embedOptions = {
    actions: { export: true, source: false, compiled: false, editor: false },
    renderer: 'svg', tooltip: { theme: 'light' }, scaleFactor: { png: 2 },
  };

  const byId = (id) => document.getElementById(id);
  // Numbers for people: an option with the decimals of its sweep (the swept
  // float 0.35000002 reads 0.35), a statistic with the decimals of its
  // column in the window (504.0 beside 509.4). The charts' data keep the
  // tables' values.
  const fixed = (v, d) => {
    if (v === null || v === undefined) return '';
    if (!Number.isFinite(v)) return Number.isNaN(v) ? 'NaN' : (v > 0 ? 'Inf' : '-Inf');
    const t = v.toFixed(d);
    return /^-0(\.0*)?$/.test(t) ? t.slice(1) : t;
  };
  const optionDecimals = (name) => D.optionDecimals[D.options.indexOf(name)] || 0;
  const fmtOption = (name, v) => fixed(v, optionDecimals(name));
  const statDecimals = (name) => D.statDecimals[windowIx][D.statNames.indexOf(name)] || 0;
  const fmtStat = (name, v) => fixed(v, statDecimals(name));

  // ---- selectors -------------------------------------------------------
  let chosen = 0;                   // index of the chosen option set
  let windowIx = D.defaultWindow;   // index of the statistics window
  let riskIx = D.risks.length - 1;  // risk3 unless fewer are present
  let colourIx = 0;                 // option that colours the trade-offs

  const several = D.runs.length > 1;
  const runOf = (i) => D.runs[D.setRun[i]];

  function setLabel(i) {
    const parts = D.swept.map((name) => [name, D.values[i][D.options.indexOf(name)]])
      .filter(([, v]) => v !== null).map(([name, v]) => name + ' ' + fmtOption(name, v));
    return (several ? runOf(i).label + ', set ' : 'Set ') + D.sets[i] + (parts.length ? ': ' + parts.join(', ') : '');
  }

  function fillSelect(sel, labels, current) {
    sel.textContent = '';
    labels.forEach((text, i) => {
      const o = document.createElement('option');
      o.value = String(i); o.textContent = text;
      if (i === current) o.selected = true;
      sel.appendChild(o);
    });
  }

  // ---- trade-offs across option sets ---------------------------------
  function stat(setIx, name) {
    const k = D.statNames.indexOf(name);
    if (k < 0) return null;
    const row = D.stats[windowIx][setIx];
    return row ? row[k] : null;
  }

  function setRows() {
    const colourName = D.colourOptions[colourIx];
    return D.sets.map((set, i) => {
      const r = { set: set, ix: i };
      if (several) r.run = runOf(i).label;
      D.options.forEach((name, k) => { r[name] = D.values[i][k]; });
      D.statNames.forEach((name) => { r[name] = stat(i, name); });
      // The legend shows the option as the user wrote it, in the options' order.
      if (colourName === undefined) { r.colour = 'all'; r.colourKey = 0; }
      else if (several && colourIx === 0) { r.colour = r.run; r.colourKey = D.setRun[i]; }
      else { r.colour = fmtOption(colourName, r[colourName]); r.colourKey = r[colourName]; }
      r.text = pointLabel(i);
      const run = D.runs[D.setRun[i]];
      r.tuned = !!(run.tuned && run.tuned.some((v) => v !== null &&
        Math.abs(v - r[run.tunedOption]) <= 1e-6 * Math.max(1, Math.abs(v))));
      r.best = false;
      r.catch = stat(i, D.keys.catch);
      r.risk = riskIx >= 0 ? stat(i, D.risks[riskIx]) : null;
      r.iav = stat(i, D.keys.iav);
      return r;
    });
  }

  // A point's label: the swept option's value where one option is swept,
  // else the set number (with the run's on a page of several).
  function pointLabel(i) {
    if (D.swept.length === 1 && !several) return fmtOption(D.swept[0], D.values[i][D.options.indexOf(D.swept[0])]);
    return (several ? (D.setRun[i] + 1) + '.' : '') + D.sets[i];
  }

  function fillTemplate(chartSpec) {
    const w = D.windows[windowIx];
    const text = JSON.stringify(chartSpec)
      .split('{risk}').join(riskIx >= 0 ? D.risks[riskIx] : 'risk')
      .split('{colour}').join(D.colourOptions[colourIx] || 'option set')
      .split('{window}').join(w ? w.label : '');
    const out = JSON.parse(text);
    // Tooltips show each statistic with the decimals of its column.
    for (const layer of out.layer || []) {
      const tip = layer.encoding && layer.encoding.tooltip;
      if (!Array.isArray(tip)) continue;
      for (const f of tip) {
        if (D.statNames.includes(f.field)) f.format = '.' + statDecimals(f.field) + 'f';
      }
    }
    return out;
  }

  // Labels beside the points, each at the first place around its point
  // (right, left, above, below, then the corners) where it overlaps no other
  // label and no other point and stays in the plotting area; a label without
  // such a place is left out (the tooltip still names the set). The best set
  // is labelled first.
  let measure = null;
  function placeLabels(view, rows, xField, yField) {
    const xs = view.scale('x'), ys = view.scale('y'), W = view.width(), H = view.height();
    if (!measure) { measure = document.createElement('canvas').getContext('2d'); measure.font = '10px sans-serif'; }
    const pts = rows.map((r) => (r[xField] === null || r[yField] === null) ? null : [xs(r[xField]), ys(r[yField])]);
    const boxes = [];
    const free = (b, i) => b.x1 >= 0 && b.x2 <= W && b.y1 >= 0 && b.y2 <= H &&
      !boxes.some((o) => b.x1 < o.x2 && o.x1 < b.x2 && b.y1 < o.y2 && o.y1 < b.y2) &&
      !pts.some((q, j) => j !== i && q && q[0] > b.x1 - 4 && q[0] < b.x2 + 4 && q[1] > b.y1 - 4 && q[1] < b.y2 + 4);
    const order = rows.map((_, i) => i).sort((a, b) => (rows[b].best ? 1 : 0) - (rows[a].best ? 1 : 0));
    for (const i of order) {
      const r = rows[i], p = pts[i], text = r.text;
      r.lx = null; r.ly = null; r.label = '';
      if (!p || !text) continue;
      const w = measure.measureText(text).width, h = 12;
      // Clear of the ring or square that marks the best and the tuned set.
      const g = r.best || r.tuned ? 11 : 7;
      const places = [[g, 0], [-g - w, 0], [-w / 2, -g - 4], [-w / 2, g + 4], [g - 2, -g - 3], [g - 2, g + 3],
        [-g + 2 - w, -g - 3], [-g + 2 - w, g + 3]];
      for (const [dx, dy] of places) {
        const b = { x1: p[0] + dx - 1, x2: p[0] + dx + w + 1, y1: p[1] + dy - h / 2, y2: p[1] + dy + h / 2 };
        if (free(b, i)) { boxes.push(b); r.lx = xs.invert(p[0] + dx); r.ly = ys.invert(p[1] + dy); r.label = text; break; }
      }
    }
  }

  async function drawTradeoffs() {
    if (!D.specs.tradeoff) return;  // summary.csv lacks the catch or the risks (named on the page)
    const rows = setRows();
    const answers = bestOfRuns(rows);
    for (const a of answers) if (a.best) a.best.best = true;
    for (const id of ['tradeoff', 'iav']) {
      const chartSpec = fillTemplate(D.specs[id]);
      // Coloured by run: colour and shape in one legend.
      if (several && colourIx === 0) {
        for (const layer of chartSpec.layer || []) {
          const enc = layer.encoding || {};
          if (enc.shape && enc.color) {
            enc.color = Object.assign({}, enc.color, { field: enc.shape.field, title: enc.shape.title });
            delete enc.color.sort;  // as the shape's, so that the two share one legend
          }
        }
      }
      chartSpec.datasets = Object.assign(chartSpec.datasets || {}, { sets: rows });
      const fields = id === 'tradeoff' ? ['risk', 'catch'] : ['catch', 'iav'];
      const mine = rows.map((r) => Object.assign({}, r));
      mine.forEach((r) => { r.label = ''; });
      chartSpec.datasets.sets = mine;
      const res = await vegaEmbed('#chart-' + id, chartSpec, embedOptions);
      if (views[id]) views[id].finalize();
      views[id] = res.view;
      placeLabels(res.view, mine, fields[0], fields[1]);
      // New objects (Object.entries leaves out the view's own tuple ids).
      res.view.data('sets', mine.map((r) => Object.fromEntries(Object.entries(r))));
      await res.view.runAsync();
      res.view.addEventListener('click', (ev, item) => {
        if (item && item.datum && item.datum.ix !== undefined) choose(item.datum.ix);
      });
    }
    drawAnswer(answers);
    if (D.sideCharts.length) await drawSide(answers);
    const riskText = byId('risk-definition');
    if (riskText && riskIx >= 0) riskText.textContent = D.riskDefinitions[D.risks[riskIx]] || '';
  }

  // ---- the answer at the top -------------------------------------------
  // For the page's window and risk: the sets that meet the risk limit and,
  // among them, the one with the highest median catch; a line per run, and
  // the best of all on a page of several.
  function describeBest(rows, runLabel) {
    const meets = rows.filter((r) => r.risk !== null && r.risk <= D.riskLimit);
    const riskName = D.risks[riskIx];
    let best = null;
    for (const r of meets) if (r.catch !== null && (best === null || r.catch > best.catch)) best = r;
    const lead = (runLabel ? runLabel + ': ' : '') + meets.length + ' of ' + rows.length + ' option set' +
      (rows.length === 1 ? '' : 's') + (meets.length === 1 ? ' meets' : ' meet') + ' the risk limit (' + riskName + ', ' +
      (D.riskWords[riskName] || riskName) + ', at most ' + D.riskLimit + ' %, ' + D.windows[windowIx].label + ').';
    if (!best) {
      let low = null;
      for (const r of rows) if (r.risk !== null && (low === null || r.risk < low.risk)) low = r;
      return { best: null, low: low, text: lead + ' No set meets the limit' +
        (low ? '; the lowest risk is set ' + low.set + '\'s, ' + fmtStat(riskName, low.risk) + ' %.' : '.') };
    }
    return { best: best, text: lead + ' Highest median catch among them: ' + setLabel(best.ix) + '; median catch ' +
      fmtStat(D.keys.catch, best.catch) + ' ' + D.catchUnit + ', risk ' + fmtStat(riskName, best.risk) + ' %' +
      (best.iav !== null ? ', mean TAC change ' + fmtStat(D.keys.iav, best.iav) + ' %' : '') + '.' };
  }

  // The answer of each run, and of all runs together on a page of several
  // (run "all").
  function bestOfRuns(rows) {
    const out = D.runs.map((run, k) => Object.assign(describeBest(rows.filter((r) => D.setRun[r.ix] === k),
      several ? run.label : ''), { run: String(k) }));
    if (several) {
      const all = describeBest(rows, '');
      all.text = 'Best of all runs: ' + (all.best ? all.text.slice(all.text.indexOf('Highest')) : 'no set of any run meets the limit.');
      out.push(Object.assign(all, { run: 'all' }));
    }
    return out;
  }

  function drawAnswer(answers) {
    const list = byId('answer-lines');
    if (!list) return;
    list.textContent = '';
    const add = (answer, run) => {
      const li = document.createElement('li');
      li.textContent = answer.text;
      li.dataset.run = run;
      li.dataset.set = answer.best ? String(answer.best.set) : '';
      li.dataset.ix = answer.best ? String(answer.best.ix) : '';
      list.appendChild(li);
    };
    for (const a of answers) add(a, a.run);
  }

  // ---- the runs side by side (a page of several runs) -------------------
  async function drawSide(answers) {
    const picked = [];
    for (const a of answers) {
      if (a.run === 'all') continue;
      const k = Number(a.run);
      const ix = a.best ? a.best.ix : a.low ? a.low.ix : D.setRun.indexOf(k);
      if (ix >= 0) picked.push({ k, ix, p: await perset(ix) });
    }
    for (const [id, q] of [['side-ssb', 'ssb'], ['side-catch', 'catch'], ['side-f', 'f']]) {
      const rows = [];
      for (const { k, ix, p } of picked) {
        for (const r of fanRows(q, p, D.runs[k])) rows.push(Object.assign(r, { run: D.runs[k].label, title: setLabel(ix), order: k }));
      }
      if (!views[id]) {
        const chartSpec = JSON.parse(JSON.stringify(D.specs[id]));
        chartSpec.datasets = { fan: rows };
        const res = await vegaEmbed('#chart-' + id, chartSpec, embedOptions);
        views[id] = res.view;
      } else {
        views[id].data('fan', rows);
        await views[id].runAsync();
      }
    }
  }

  // ---- per-set charts ---------------------------------------------------
  // A set's series are in their own element, deflated and in base64; they
  // are inflated and parsed when the set is first chosen.
  const persetCache = new Map();
  async function perset(i) {
    if (!persetCache.has(i)) {
      const text = document.getElementById('tacsim-set-' + i).textContent.trim();
      const bytes = Uint8Array.from(atob(text), (c) => c.charCodeAt(0));
      const stream = new Blob([bytes]).stream().pipeThrough(new DecompressionStream('deflate'));
      persetCache.set(i, JSON.parse(await new Response(stream).text()));
    }
    return persetCache.get(i);
  }

  const quantiles = ['p10', 'p25', 'p50', 'p75', 'p90'];

  function fanRows(q, p, run) {
    const cols = p.q[q];
    if (!cols) return [];
    return run.years.map((year, j) => {
      const r = { year: year };
      quantiles.forEach((name, k) => { r[name] = cols[k] ? cols[k][j] : null; });
      return r;
    }).filter((r) => r.p50 !== null);
  }

  function iterRows(q, p, run) {
    const rows = [];
    if (!p.it || !p.it[q]) return rows;
    p.it[q].forEach((series, k) => {
      series.forEach((value, j) => {
        if (value !== null) rows.push({ year: run.years[j], iteration: run.iterations[k], value: value });
      });
    });
    return rows;
  }

  function perSetData(id, p, run) {
    const refs = (p.refs && p.refs[id]) || [];
    switch (id) {
      case 'plim':
        return { prob: run.years.map((year, j) => ({ year: year, value: p.plim ? p.plim[j] : null }))
                              .filter((r) => r.value !== null) };
      case 'shape': {
        const s = D.shapes[p.shape];
        const rows = [];
        if (s) s.series.forEach((name, k) => s.basis.forEach((b, j) => rows.push({ basis: b, value: s.values[k][j], series: name })));
        return { shape: rows, refs: (s ? s.triggers : []) };
      }
      case 'catch': {
        const tac = fanRows('tac', p, run).map((r) => ({ year: r.year, value: r.p50 }));
        return { fan: fanRows('catch', p, run), iters: iterRows('catch', p, run), extra: tac, refs: refs };
      }
      default:
        return { fan: fanRows(id, p, run), iters: iterRows(id, p, run), refs: refs };
    }
  }

  async function drawPerSet(first) {
    const p = await perset(chosen);
    for (const id of D.perSetCharts) {
      const data = perSetData(id, p, runOf(chosen));
      if (first || !views[id]) {
        const chartSpec = JSON.parse(JSON.stringify(D.specs[id]));
        chartSpec.datasets = Object.assign(chartSpec.datasets || {}, data);
        const res = await vegaEmbed('#chart-' + id, chartSpec, embedOptions);
        views[id] = res.view;
        if (window.tacsimFirstChart === undefined) window.tacsimFirstChart = performance.now();
        // Let the browser show this chart before the next one is built.
        await new Promise((resolve) => setTimeout(resolve, 0));
      } else {
        const view = views[id];
        Object.keys(data).forEach((name) => view.data(name, data[name]));
        await view.runAsync();
      }
    }
    byId('chosen-label').textContent = setLabel(chosen);
    window.tacsimShown = chosen;
    document.querySelectorAll('#stats-table tbody tr').forEach((tr) => {
      tr.classList.toggle('chosen', Number(tr.dataset.ix) === chosen);
    });
  }

  function choose(i) {
    if (i < 0 || i >= D.sets.length || i === chosen) return;
    chosen = i;
    byId('set-select').value = String(i);
    track(() => drawPerSet(false));
  }

  // ---- per-recruit charts ----------------------------------------------
  async function drawStatic() {
    for (const id of D.staticCharts) {
      const res = await vegaEmbed('#chart-' + id, D.specs[id], embedOptions);
      views[id] = res.view;
    }
  }

  // ---- the sortable table ----------------------------------------------
  // Columns: the run (several runs), the set and the swept options, fixed on
  // the left; then the statistics under the heading of their group (catch,
  // F, SSB, TSB, TAC change, risk) with its unit. Printed, the statistics
  // go into blocks of whole groups that fit the width of an A4 page, each
  // block with the fixed columns again.
  let sortKey = -1, sortDir = 1;
  const printColumns = 15;          // columns of a printed block, the fixed ones included

  function tableColumns() {
    const text = (v) => String(v).replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;');
    const fixedCols = (several ? [{ name: 'run', title: 'run', get: (i) => runOf(i).label, fmt: text }] : [])
      .concat([{ name: 'set', title: 'option set', get: (i) => D.sets[i], fmt: String }])
      .concat(D.swept.map((name) => ({ name: name, title: 'swept option', get: (i) => D.values[i][D.options.indexOf(name)],
                                       fmt: (v) => fmtOption(name, v) })));
    const statCols = D.statNames.map((name, k) => ({ name: name, title: D.statTitles[name] || name, group: D.statGroups[k] || '',
                                                    get: (i) => stat(i, name), fmt: (v) => fmtStat(name, v) }));
    // Each group's columns together, the groups in the order they first appear.
    const groups = [...new Set(statCols.map((c) => c.group))];
    statCols.sort((a, b) => groups.indexOf(a.group) - groups.indexOf(b.group));
    return { fixedCols, statCols, all: fixedCols.concat(statCols) };
  }

  // Runs of neighbouring columns of one group: [{group, cols}].
  function groupsOf(cols) {
    const out = [];
    for (const c of cols) {
      if (out.length && out[out.length - 1].group === c.group) out[out.length - 1].cols.push(c);
      else out.push({ group: c.group, cols: [c] });
    }
    return out;
  }

  function tableHtml(fixedCols, statCols, order, sortable) {
    const all = fixedCols.concat(statCols);
    const head1 = fixedCols.map((c) => '<th rowspan="2" class="fixed sortable' + sortClass(all, c) + '" data-col="' +
      c.name + '" title="' + c.title + '">' + c.name + '</th>').join('') +
      groupsOf(statCols).map((g) => '<th class="group" colspan="' + g.cols.length + '">' + g.group + '</th>').join('');
    const head2 = statCols.map((c) => '<th class="sortable' + sortClass(all, c) + '" data-col="' + c.name + '" title="' +
      c.title + '">' + c.name + '</th>').join('');
    const rows = order.map((i) => '<tr data-ix="' + i + '"' + (i === chosen ? ' class="chosen"' : '') + '>' +
      fixedCols.map((c) => '<td class="fixed">' + c.fmt(c.get(i)) + '</td>').join('') +
      statCols.map((c) => '<td>' + c.fmt(c.get(i)) + '</td>').join('') + '</tr>');
    return '<thead><tr>' + head1 + '</tr><tr>' + head2 + '</tr></thead><tbody>' + rows.join('') + '</tbody>';
  }

  function sortClass(all, c) {
    const k = all.indexOf(c);
    return k === sortKey ? (sortDir > 0 ? ' sorted-asc' : ' sorted-desc') : '';
  }

  function drawTable() {
    const table = byId('stats-table');
    const { fixedCols, statCols, all } = tableColumns();
    const order = D.sets.map((_, i) => i);
    if (sortKey >= 0) {
      const get = all[sortKey].get;
      order.sort((a, b) => {
        const x = get(a), y = get(b);
        if (x === y) return a - b;
        if (x === null) return 1;
        if (y === null) return -1;
        return (x < y ? -1 : 1) * sortDir;
      });
    }
    table.innerHTML = tableHtml(fixedCols, statCols, order);
    table.querySelectorAll('th.sortable').forEach((th) => {
      const k = all.findIndex((c) => c.name === th.dataset.col);
      th.addEventListener('click', () => { sortDir = (sortKey === k) ? -sortDir : 1; sortKey = k; drawTable(); });
    });
    table.tBodies[0].addEventListener('click', (ev) => {
      const tr = ev.target.closest('tr');
      if (tr) choose(Number(tr.dataset.ix));
    });
    // The fixed columns stay at their place while the rest scrolls.
    const firstRow = table.tBodies[0].rows[0];
    if (firstRow) {
      const lefts = [];
      Array.from(firstRow.cells).slice(0, fixedCols.length).reduce((left, td) => {
        lefts.push(left);
        return left + td.getBoundingClientRect().width;
      }, 0);
      table.querySelectorAll('tr').forEach((tr) => {
        Array.from(tr.querySelectorAll('.fixed')).forEach((cell, k) => { cell.style.left = lefts[k] + 'px'; });
      });
    }
    // Printed: blocks of whole groups that fit the page.
    const blocks = [];
    let current = [];
    for (const g of groupsOf(statCols)) {
      if (current.length && fixedCols.length + current.length + g.cols.length > printColumns) { blocks.push(current); current = []; }
      current = current.concat(g.cols);
    }
    if (current.length) blocks.push(current);
    const windowLabel = D.windows[windowIx] ? D.windows[windowIx].label : '';
    byId('stats-print').innerHTML = blocks.map((cols, k) => '<div class="print-block"><p class="note">Block ' + (k + 1) +
      ' of ' + blocks.length + ', ' + windowLabel + '</p><table>' + tableHtml(fixedCols, cols, order) + '</table></div>').join('');
    byId('table-window').textContent = windowLabel;
  }

  // ---- start -------------------------------------------------------------
  async function start() {
    fillSelect(byId('set-select'), D.sets.map((_, i) => setLabel(i)), chosen);
    byId('set-select').addEventListener('change', (ev) => choose(Number(ev.target.value)));
    fillSelect(byId('window-select'), D.windows.map((w) => w.label), windowIx);
    byId('window-select').addEventListener('change', (ev) => {
      windowIx = Number(ev.target.value); track(drawTradeoffs); drawTable();
    });
    fillSelect(byId('risk-select'), D.risks, riskIx);
    byId('risk-select').addEventListener('change', (ev) => { riskIx = Number(ev.target.value); track(drawTradeoffs); });
    fillSelect(byId('colour-select'), D.colourOptions, colourIx);
    byId('colour-select').addEventListener('change', (ev) => { colourIx = Number(ev.target.value); track(drawTradeoffs); });
    track(async () => {
      await drawPerSet(true);
      await drawTradeoffs();
      await drawStatic();
      drawTable();
      window.tacsimReady = true;
    });
  }
  start();
})();
