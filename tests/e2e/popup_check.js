// Drives the pop-up script of converted pages in Debian's Chromium with real
// pointer events: post anchors, ranges, the ID and answer pop-ups, nesting,
// the hiding timers, the search panel, the Be level buttons, and that no text
// of a log turns into markup. Usage: node popup_check.js config.json
// The config names the pages (real, synth, world, search, hostile, be) and
// the folder for screenshots (shots).
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const { chromium } = require('playwright-core');

let failures = 0;
function check(ok, what) {
  console.log(`${ok ? 'ok  ' : 'FAIL'} ${what}`);
  if (!ok) failures++;
}
const sleep = (ms) => new Promise((r) => setTimeout(r, ms));

async function open(browser, file) {
  const page = await browser.newPage();
  page.dialogs = [];
  page.errors = [];
  page.on('dialog', async (d) => { page.dialogs.push(d.message()); await d.dismiss(); });
  page.on('pageerror', (e) => page.errors.push(String(e)));
  await page.route(/^https?:/, (route) => route.abort());
  await page.goto('file://' + file, { waitUntil: 'load' });
  return page;
}

async function hover(page, selector) {
  const handle = await page.$(selector);
  if (!handle) throw new Error('nothing matches ' + selector);
  await handle.scrollIntoViewIfNeeded();
  const box = await handle.boundingBox();
  await page.mouse.move(box.x + Math.min(box.width / 2, 6), box.y + box.height / 2);
  await sleep(30);
  return box;
}

// What the layers show: for each open depth, the post numbers or the message.
async function layers(page) {
  return page.evaluate(() => {
    const out = [];
    for (let d = 1; d <= 15; d++) {
      const l = document.getElementById('sty' + (d < 10 ? '0' : '') + d);
      if (!l || l.style.display != 'block') continue;
      const heads = [...l.querySelectorAll('.popHead')].map((h) => +h.getAttribute('data-res'));
      const msg = l.querySelector('.popMsg');
      out.push({ d, heads, msg: msg ? msg.textContent : null });
    }
    return out;
  });
}

// Marks an element for a selector: [data-t="name"].
async function mark(page, fn, arg) {
  return page.evaluate(fn, arg);
}

// Clicks the "ID:" text of post n's header.
async function clickId(page, n) {
  const at = await page.evaluate((n) => {
    const a = document.querySelector(`dt a[name="R${n}"]`);
    const dt = a.parentNode;
    dt.scrollIntoView({ block: 'center' });
    const walker = document.createTreeWalker(dt, NodeFilter.SHOW_TEXT);
    for (let t = walker.nextNode(); t; t = walker.nextNode()) {
      const i = t.data.indexOf('ID:');
      if (i < 0) continue;
      const r = document.createRange();
      r.setStart(t, i);
      r.setEnd(t, i + 3);
      const b = r.getBoundingClientRect();
      return { x: b.left + b.width / 2, y: b.top + b.height / 2 };
    }
    return null;
  }, n);
  if (!at) throw new Error('no ID in post ' + n);
  await page.mouse.move(at.x, at.y);
  await page.mouse.down();
  await page.mouse.up();
  await sleep(30);
  return at;
}

async function clickNumber(page, n) {
  await hover(page, `dt a[name="R${n}"]`);
  await page.mouse.down();
  await page.mouse.up();
  await sleep(30);
}

async function away(page) {
  await page.mouse.move(2, 2);
}

// Closes every layer at once where the timers are not what is checked.
async function reset(page) {
  await away(page);
  await page.evaluate(() => { clearTimeout(pop.timer.t); pop.hideAbove(0); });
}

const same = (a, b) => JSON.stringify(a) === JSON.stringify(b);
const range = (a, b) => Array.from({ length: b - a + 1 }, (_, i) => a + i);

async function realPage(browser, file, shots) {
  const page = await open(browser, file);
  // A post anchor whose post has an anchor of its own, for a nested pop-up.
  const chain = await page.evaluate(() => {
    const post = (n) => document.querySelector(`dt a[name="R${n}"]`);
    const body = (n) => { let e = post(n).parentNode.nextElementSibling; return e && e.tagName == 'DD' ? e : null; };
    for (const a of document.querySelectorAll('dd a[href^="#R"]')) {
      const m = /^>>(\d+)$/.exec(a.textContent);
      if (!m || !post(+m[1]) || !body(+m[1])) continue;
      const inner = [...body(+m[1]).querySelectorAll('a[href^="#R"]')].find((b) => {
        const k = /^>>(\d+)$/.exec(b.textContent);
        return k && post(+k[1]) && +k[1] != +m[1];
      });
      if (!inner) continue;
      a.setAttribute('data-t', 'outer');
      return { n: +m[1], inner: +/\d+/.exec(inner.textContent)[0], text: body(+m[1]).textContent };
    }
    return null;
  });
  check(chain !== null, 'the real log has an anchor to a post with an anchor');
  await hover(page, '[data-t="outer"]');
  let seen = await layers(page);
  check(seen.length == 1 && same(seen[0].heads, [chain.n]), `hover on >>${chain.n} shows post ${chain.n}: ${JSON.stringify(seen)}`);
  const copied = await page.evaluate(() => document.querySelector('#sty01 .popBody').textContent);
  check(copied == chain.text, 'the layer holds the post\'s body as the page shows it');
  const head = await page.evaluate(() => document.querySelector('#sty01 .popHead').textContent);
  check(/ID:/.test(head) && head.startsWith(String(chain.n)), `the layer holds the post's header: ${head.slice(0, 60)}`);
  await hover(page, '#sty01 .popBody a[href^="#R"]');
  seen = await layers(page);
  check(seen.length == 2 && same(seen[1].heads, [chain.inner]), `a pop-up from the pop-up nests: ${JSON.stringify(seen)}`);
  await page.screenshot({ path: path.join(shots, 'popup_nested.png') });
  const style = await page.evaluate(() => {
    const s = getComputedStyle(document.getElementById('sty02'));
    return { bg: s.backgroundColor, border: s.borderTopStyle + ' ' + s.borderTopWidth, opacity: s.opacity, pad: s.paddingLeft };
  });
  check(style.bg == 'rgb(245, 255, 250)' && style.border == 'solid 1px' && style.opacity == '0.95' && style.pad == '6px',
        `layer look ${JSON.stringify(style)}`);
  // Near the bottom of the window a pop-up opens upwards, near the top downwards.
  for (const [block, up] of [['end', true], ['start', false]]) {
    await away(page);
    await sleep(1000);
    await page.evaluate((block) => {
      const a = document.querySelector('[data-t="outer"]');
      a.scrollIntoView({ block });
      if (block == 'end') window.scrollBy(0, 20);
      else window.scrollBy(0, -20);
    }, block);
    const anchor = await (await page.$('[data-t="outer"]')).boundingBox();
    await page.mouse.move(anchor.x + 4, anchor.y + anchor.height / 2);
    await sleep(30);
    const layer = await (await page.$('#sty01')).boundingBox();
    check(up ? layer.y + layer.height <= anchor.y + anchor.height / 2 : layer.y >= anchor.y + anchor.height / 2,
          `an anchor at the ${block == 'end' ? 'bottom' : 'top'} opens its pop-up ${up ? 'upwards' : 'downwards'}`);
  }
  await hover(page, '[data-t="outer"]');
  await hover(page, '#sty01 .popBody a[href^="#R"]');
  // Leaving the layers: they stay for the timer, then go.
  await away(page);
  await sleep(100);
  check((await layers(page)).length == 2, 'the layers stay for a moment after the pointer leaves');
  await sleep(900);
  check((await layers(page)).length == 0, 'and are hidden after the timers');
  // Touching the layer before the anchor's timer fires keeps it.
  const box = await hover(page, '[data-t="outer"]');
  const layerBox = await (await page.$('#sty01')).boundingBox();
  await page.mouse.move(box.x + box.width / 2 + 4, box.y + box.height / 2, { steps: 2 });
  await page.mouse.move(layerBox.x + 20, layerBox.y + 10, { steps: 4 });
  await sleep(1000);
  check((await layers(page)).length == 1, 'a layer touched before its timer fires stays open');
  await away(page);
  await sleep(500);
  check((await layers(page)).length == 0, 'leaving the layer hides it after 250 ms');

  // ID pop-ups.
  const ids = await page.evaluate(() => {
    const byId = {};
    for (const dt of document.querySelectorAll('dl dt')) {
      const m = /ID:([A-Za-z0-9\/+.]+)/.exec(dt.textContent);
      const n = +dt.querySelector('a[name]').name.slice(1);
      if (m) (byId[m[1]] = byId[m[1]] || []).push(n);
    }
    const lists = Object.values(byId);
    return { many: lists.find((l) => l.length >= 3), one: lists.find((l) => l.length == 1) };
  });
  await clickId(page, ids.many[1]);
  seen = await layers(page);
  check(seen.length == 1 && same(seen[0].heads, ids.many), `a click on the ID shows the ${ids.many.length} posts of that ID: ${JSON.stringify(seen)}`);
  await page.screenshot({ path: path.join(shots, 'popup_id.png') });
  // The same ID from the layer's header: a second layer 54 and 32 pixels
  // from the first one's corner, but no third copy.
  const idInLayer = async (d) => {
    const at = await page.evaluate((d) => {
      const head = document.querySelector(`#sty0${d} .popHead`);
      const walker = document.createTreeWalker(head, NodeFilter.SHOW_TEXT);
      for (let t = walker.nextNode(); t; t = walker.nextNode()) {
        const i = t.data.indexOf('ID:');
        if (i < 0) continue;
        const r = document.createRange();
        r.setStart(t, i);
        r.setEnd(t, i + 3);
        const b = r.getBoundingClientRect();
        return { x: b.left + 2, y: b.top + b.height / 2 };
      }
      return null;
    }, d);
    await page.mouse.move(at.x, at.y);
    await page.mouse.down();
    await page.mouse.up();
    await sleep(30);
  };
  await idInLayer(1);
  seen = await layers(page);
  // (A layer that would cross the window's right edge moves left.)
  const corners = await page.evaluate(() => [1, 2].map((d) => {
    const l = document.getElementById('sty0' + d);
    return [l.offsetLeft, l.offsetTop, l.offsetLeft + l.offsetWidth == document.documentElement.clientWidth];
  }));
  check(seen.length == 2 && same(seen[1].heads, ids.many) && (corners[1][0] - corners[0][0] == 54 || corners[1][2]) &&
        corners[1][1] - corners[0][1] == 32,
        `the ID from a layer opens a second layer at the corner: ${JSON.stringify(corners)}`);
  await idInLayer(2);
  check((await layers(page)).length == 2, 'but the same ID is not shown a third time');
  await away(page);
  await sleep(400);
  await clickId(page, ids.one[0]);
  seen = await layers(page);
  check(seen.length == 1 && seen[0].msg == '(他に同じIDの投稿はありません)', `an ID that occurs once: ${JSON.stringify(seen)}`);
  await sleep(900);
  check((await layers(page)).length == 0, 'the message hides itself after 700 ms');

  // Answers to a post.
  const answers = await page.evaluate(() => {
    const count = {};
    for (const dd of document.querySelectorAll('dl dd')) {
      const dt = dd.previousElementSibling;
      const n = +dt.querySelector('a[name]').name.slice(1);
      for (const a of dd.querySelectorAll('a[href^="#R"]')) {
        const m = /^>>(\d+)$/.exec(a.textContent);
        if (m && +m[1] < n) (count[m[1]] = count[m[1]] || new Set()).add(n);
      }
    }
    const best = Object.keys(count).sort((a, b) => count[b].size - count[a].size)[0];
    const dts = document.querySelectorAll('dl dt');
    return { n: +best, by: [...count[best]], last: dts.length };
  });
  await clickNumber(page, answers.n);
  seen = await layers(page);
  check(seen.length == 1 && answers.by.every((k) => seen[0].heads.includes(k)) && seen[0].heads.every((k) => k > answers.n),
        `a click on post ${answers.n}'s number shows its answers ${JSON.stringify(answers.by)}: ${JSON.stringify(seen)}`);
  await away(page);
  await sleep(400);
  await clickNumber(page, answers.last);
  seen = await layers(page);
  check(seen.length == 1 && seen[0].msg == '(この投稿に対するレスはありません)', `a post without answers: ${JSON.stringify(seen)}`);
  check(page.errors.length == 0 && page.dialogs.length == 0, `no script errors: ${page.errors.join(' | ')}`);
  await page.close();
}

async function synthPage(browser, file) {
  const page = await open(browser, file);
  const cases = [
    [50, range(5, 29), 'an open range from post 5'],
    [51, range(1, 25), 'a range from 1 to 2000'],
    [52, [12], 'full-width digits and signs'],
    [53, [12], 'a plain anchor'],
    [54, [10, 12, 14], 'a list with commas and plus signs'],
  ];
  for (const [post, want, what] of cases) {
    await reset(page);
    await page.evaluate((p) => {
      const dd = document.querySelector(`dt a[name="R${p}"]`).parentNode.nextElementSibling;
      dd.querySelector('a').setAttribute('data-t', 'case' + p);
    }, post);
    await hover(page, `[data-t="case${post}"]`);
    const seen = await layers(page);
    check(seen.length >= 1 && same(seen[seen.length - 1].heads, want), `${what}: ${JSON.stringify(seen.map((s) => s.heads))}`);
  }
  // A chain of anchors nests to depth 15 and no further.
  await reset(page);
  await hover(page, 'dt a[name="R40"]');
  await page.evaluate(() => document.querySelector('dt a[name="R40"]').parentNode.nextElementSibling.querySelector('a').setAttribute('data-t', 'chain'));
  await hover(page, '[data-t="chain"]');
  for (let d = 1; d <= 16; d++) {
    const sel = `#sty${d < 10 ? '0' : ''}${d} .popBody a`;
    if (!(await page.$(sel))) break;
    await hover(page, sel);
  }
  let seen = await layers(page);
  check(seen.length == 15 && seen[14].heads[0] == 25, `a chain of anchors stops at depth 15: ${seen.length}`);
  // Two posts that name each other: the same list is not shown a third time.
  await reset(page);
  await page.evaluate(() => document.querySelector('dt a[name="R901"]').parentNode.nextElementSibling.querySelector('a').setAttribute('data-t', 'loop'));
  await hover(page, '[data-t="loop"]');
  for (let d = 1; d <= 6; d++) {
    const sel = `#sty0${d} .popBody a`;
    if (!(await page.$(sel))) break;
    await hover(page, sel);
  }
  seen = await layers(page);
  check(seen.length == 4 && same(seen.map((s) => s.heads[0]), [902, 901, 902, 901]), `no third copy of a list: ${JSON.stringify(seen.map((s) => s.heads))}`);
  // An ID of question marks has no pop-up.
  await reset(page);
  await clickId(page, 300);
  check((await layers(page)).length == 0, 'an ID of question marks is ignored');
  // The first pop-up on a page of 1000 posts, by the browser's clock.
  await page.goto('file://' + file, { waitUntil: 'load' });
  await page.evaluate(() => {
    const a = document.querySelector('dt a[name="R999"]').parentNode.nextElementSibling.querySelector('a');
    a.setAttribute('data-t', 'first');
    window.addEventListener('mouseover', (e) => {
      if (e.target != a || window.__t0) return;
      window.__t0 = performance.now();
      requestAnimationFrame(() => {
        window.__t1 = performance.now();
        window.__shown = document.getElementById('sty01').style.display == 'block';
      });
    }, true);
  });
  await hover(page, '[data-t="first"]');
  await sleep(200);
  const t = await page.evaluate(() => ({ ms: window.__t1 - window.__t0, shown: window.__shown }));
  check(t.shown, 'the first pop-up on a page of 1000 posts is shown in the next frame');
  console.log(`FIGURE first-popup-ms ${t.ms.toFixed(1)}`);
  check(page.errors.length == 0, `no script errors: ${page.errors.join(' | ')}`);
  await page.close();
}

async function worldPage(browser, file) {
  const page = await open(browser, file);
  const one = await page.evaluate(() => {
    const byId = {};
    for (const dt of document.querySelectorAll('dl dt')) {
      const m = /ID:([A-Za-z0-9\/+.]+)/.exec(dt.textContent);
      if (m) (byId[m[1]] = byId[m[1]] || []).push(+dt.querySelector('a[name]').name.slice(1));
    }
    return Object.values(byId).find((l) => l.length == 1)[0];
  });
  await clickId(page, one);
  const seen = await layers(page);
  check(seen.length == 1 && seen[0].msg == '(Not found)', `language 2: ${JSON.stringify(seen)}`);
  check(page.errors.length == 0, `no script errors: ${page.errors.join(' | ')}`);
  await page.close();
}

async function searchPage(browser, file) {
  const page = await open(browser, file);
  check(await page.$('#popSearch') !== null, 'the search panel is there');
  const input = await page.$('#popSearch input[name="pattern"]');
  const total = await page.evaluate(() => document.querySelectorAll('dl dt').length);
  for (const pattern of ['kde', 'ID:Y\\+mA6iwW', '']) {
    await input.fill(pattern);
    await input.press('Enter');
    await sleep(50);
    const r = await page.evaluate((p) => {
      const re = new RegExp(p, 'i');
      let want = 0;
      let visible = 0;
      for (const dt of document.querySelectorAll('dl dt')) {
        const dd = dt.nextElementSibling;
        if (re.test(dt.textContent) || re.test(dd.textContent)) want++;
        if (dt.style.display != 'none') visible++;
      }
      return { want, visible, status: document.querySelector('#popSearch span').textContent };
    }, pattern);
    check(r.visible == r.want && r.status == `※ ${r.want} / ${total} 件の検索結果`, `search "${pattern}": ${JSON.stringify(r)}`);
  }
  await input.fill('(');
  await input.press('Enter');
  await sleep(50);
  const status = await page.evaluate(() => document.querySelector('#popSearch span').textContent);
  check(status == '※ 正規表現で構文エラーが発生しました', `a broken pattern: ${status}`);
  await page.evaluate(() => document.querySelector('dd a[href^="#R"]').setAttribute('data-t', 'x'));
  await hover(page, '[data-t="x"]');
  check((await layers(page)).length == 0, 'with the pop-ups off an anchor shows nothing');
  check(page.errors.length == 0, `no script errors: ${page.errors.join(' | ')}`);
  await page.close();
}

async function hostilePage(browser, file) {
  const page = await open(browser, file);
  await hover(page, 'dd a[href="#R1"]');
  let seen = await layers(page);
  const inside = await page.evaluate(() => {
    const l = document.getElementById('sty01');
    return { text: l.textContent, tags: l.querySelectorAll('img,script,iframe,[onerror],[onmouseover]').length };
  });
  check(seen.length == 1 && inside.text.includes('<img src=x onerror=') && inside.text.includes('<script>') && inside.tags == 0,
        `a hostile post stays text in the pop-up: ${JSON.stringify(inside).slice(0, 200)}`);
  await away(page);
  await sleep(1000);
  await clickNumber(page, 1);
  seen = await layers(page);
  check(seen.length == 1 && same(seen[0].heads, [2]), `answers to the hostile post: ${JSON.stringify(seen)}`);
  await away(page);
  await sleep(1000);
  await clickId(page, 1);
  const bad = await page.evaluate(() => ({ pwned: window.__pwned === true, tags: document.querySelectorAll('[id^="sty"] img, [id^="sty"] script, [id^="sty"] iframe').length }));
  check(!bad.pwned && bad.tags == 0 && page.dialogs.length == 0, `no script of the log ran: ${JSON.stringify(bad)} ${page.dialogs}`);
  check(page.errors.length == 0, `no script errors: ${page.errors.join(' | ')}`);
  await page.close();
}

async function bePage(browser, file, shots) {
  const page = await open(browser, file);
  const state = () => page.evaluate(() => {
    const dts = [...document.querySelectorAll('dl dt')];
    const shown = dts.filter((dt) => { const dd = dt.nextElementSibling; return dd.style.display != 'none'; });
    return { posts: dts.length, shown: shown.length, firstShown: shown[0] === dts[0], italic: dts.filter((dt) => dt.style.fontStyle == 'italic').length };
  });
  const buttons = await page.$$eval('input[type=button]', (b) => b.map((x) => x.value));
  check(same(buttons, ['Lv0', 'Lv1', 'Lv2', 'Lv3', 'Lv.0', 'Lv.1', 'Lv.2', 'Lv.3', 'Lv.4']), `the level buttons: ${buttons}`);
  let s = await state();
  check(s.shown == s.posts, `on load every post is shown: ${JSON.stringify(s)}`);
  await page.click('input[value="Lv1"]');
  s = await state();
  check(s.shown == 1 && s.firstShown && s.italic == s.posts - 1, `Lv1 hides the posts without a level mark: ${JSON.stringify(s)}`);
  await page.click('input[value="Lv0"]');
  s = await state();
  check(s.shown == s.posts && s.italic == 0, `Lv0 shows every post again: ${JSON.stringify(s)}`);
  await page.evaluate(() => document.querySelector('dt a[name="R5"]').parentNode.setAttribute('data-t', 'five'));
  // On the name, where a click opens no pop-up over the header.
  await page.dblclick('[data-t="five"] b');
  const folded = await page.evaluate(() => { const dt = document.querySelector('[data-t="five"]'); return { hidden: dt.nextElementSibling.style.display == 'none', italic: dt.style.fontStyle, tip: dt.title, body: dt.nextElementSibling.textContent.replace(/\s+/g, ' ').slice(0, 50) }; });
  check(folded.hidden && folded.italic == 'italic' && folded.tip == folded.body, `a double click folds a post: ${JSON.stringify(folded)}`);
  await page.dblclick('[data-t="five"] b');
  check(await page.evaluate(() => document.querySelector('[data-t="five"]').nextElementSibling.style.display != 'none'), 'and a second one unfolds it');
  await page.screenshot({ path: path.join(shots, 'be_levels.png') });
  // The posts of the most frequent ID are taller than the window: the layer
  // gets the window's height and a scroll bar.
  const busiest = await page.evaluate(() => {
    const byId = {};
    for (const dt of document.querySelectorAll('dl dt')) {
      const m = /ID:([A-Za-z0-9\/+.]+)/.exec(dt.textContent);
      if (m) (byId[m[1]] = byId[m[1]] || []).push(+dt.querySelector('a[name]').name.slice(1));
    }
    return Object.values(byId).sort((a, b) => b.length - a.length)[0];
  });
  await clickId(page, busiest[1]);
  const tall = await page.evaluate(() => {
    const l = document.getElementById('sty01');
    return { shown: l.style.display, h: l.offsetHeight, win: window.innerHeight, overflow: l.style.overflow,
             scroll: l.scrollHeight > l.clientHeight, top: l.getBoundingClientRect().top };
  });
  check(tall.shown == 'block' && tall.h <= tall.win && tall.overflow == 'auto' && tall.scroll && tall.top == 0,
        `the ${busiest.length} posts of one ID in a scrolling layer: ${JSON.stringify(tall)}`);
  check(page.errors.length == 0, `no script errors: ${page.errors.join(' | ')}`);
  await page.close();
}

// The time from the pointer's arrival on an anchor near the end of a page to
// the frame that shows the pop-up, by the browser's performance clock.
async function firstPopup(browser, file, runs) {
  const times = [];
  for (let i = 0; i < runs; i++) {
    const page = await open(browser, file);
    const ok = await page.evaluate(() => {
      const anchors = document.querySelectorAll('dd a[href^="#R"]');
      const a = anchors[anchors.length - 1];
      if (!a) return false;
      a.setAttribute('data-t', 'first');
      window.addEventListener('mouseover', (e) => {
        if (e.target != a || window.__t0) return;
        window.__t0 = performance.now();
        requestAnimationFrame(() => {
          window.__t1 = performance.now();
          window.__shown = document.getElementById('sty01').style.display == 'block';
        });
      }, true);
      return true;
    });
    if (!ok) throw new Error('no anchor in ' + file);
    await hover(page, '[data-t="first"]');
    await sleep(200);
    const t = await page.evaluate(() => ({ ms: window.__t1 - window.__t0, shown: window.__shown,
                                            posts: document.querySelectorAll('dl dt').length }));
    if (!t.shown) throw new Error('no pop-up shown');
    times.push(t.ms);
    if (i == 0) console.log(`page: ${t.posts} posts`);
    await page.close();
  }
  times.sort((a, b) => a - b);
  console.log(`first pop-up: median ${times[times.length >> 1].toFixed(1)} ms, worst ${times[times.length - 1].toFixed(1)} ms of ${runs}`);
}

// Be marks "<BE:id:level>" become profile links that the trial level buttons filter by.
async function beMarksPage(browser, file) {
  const page = await open(browser, file);
  const shown = () => page.evaluate(() => [...document.querySelectorAll('dl dt')]
    .filter((dt) => dt.nextElementSibling.style.display != 'none')
    .map((dt) => +dt.querySelector('a[name]').name.slice(1)));
  const links = await page.$$eval('dt a[data-be]', (l) => l.map((a) => a.textContent));
  check(same(links, ['Lv.1', 'Lv.3', 'Lv.4']), `Be marks become level links: ${links}`);
  await page.click('input[value="Lv.2"]');
  check(same(await shown(), [1, 3, 4]), `Lv.2 keeps the posts of level 2 and more: ${await shown()}`);
  await page.click('input[value="Lv.4"]');
  check(same(await shown(), [1, 4]), `Lv.4: ${await shown()}`);
  await page.click('input[value="Lv0"]');
  check(same(await shown(), [1, 2, 3, 4, 5]), `Lv0 shows every post: ${await shown()}`);
  await page.evaluate(() => { window.open = (...args) => { window.__opened = args; return null; }; });
  await page.click('dt a[data-be="333"]');
  const opened = await page.evaluate(() => window.__opened);
  check(opened && opened[0] == 'http://be.2ch.net/test/p.php?i=333&u=d:3' && opened[1] == 'profile' && /width=555,height=555/.test(opened[2]),
        `a level link opens the member's profile: ${JSON.stringify(opened)}`);
  check(page.errors.length == 0, `no script errors: ${page.errors.join(' | ')}`);
  await page.close();

  // The stored level applies on load; a level button stores the new one for a
  // year, for the whole site. (Pages from files keep no cookies, so the page
  // sees a cookie jar of the test's own.)
  const stored = await browser.newPage();
  await stored.addInitScript(() => {
    window.__set = [];
    Object.defineProperty(Document.prototype, 'cookie', {
      configurable: true,
      get() { return 'NAME&=x; LEVEL&=%5B34%5D'; },
      set(v) { window.__set.push(v); },
    });
  });
  await stored.goto('file://' + file, { waitUntil: 'load' });
  const onLoad = await stored.evaluate(() => [...document.querySelectorAll('dl dt')]
    .filter((dt) => dt.nextElementSibling.style.display != 'none')
    .map((dt) => +dt.querySelector('a[name]').name.slice(1)));
  check(same(onLoad, [1, 3, 4]), `the stored level [34] applies on load: ${onLoad}`);
  await stored.click('input[value="Lv.1"]');
  const cookie = await stored.evaluate(() => window.__set[0] || '');
  const m = /^LEVEL&=%5B1234%5D; expires=([^;]+); path=\/; SameSite=Lax$/.exec(cookie);
  check(m && Date.parse(m[1]) > Date.now() + 300 * 24 * 3600 * 1000, `the level is stored: ${cookie}`);
  await stored.close();
}

// Pages that refer to the script file work as the embedded ones do.
async function externalPage(browser, file) {
  const page = await open(browser, file);
  await page.evaluate(() => document.querySelector('dd a[href^="#R"]').setAttribute('data-t', 'x'));
  await hover(page, '[data-t="x"]');
  const seen = await layers(page);
  check(seen.length == 1 && seen[0].heads.length > 0 && page.errors.length == 0,
        `the script file works in ${path.basename(path.dirname(file))}/${path.basename(file)}: ${JSON.stringify(seen)}`);
  await page.close();
}

// A mail link gets the mail field as its tool tip.
async function mailPage(browser, file) {
  const page = await open(browser, file);
  await hover(page, 'dt a[href="mailto:sage"]');
  await hover(page, 'dt a[href="mailto:a%20b%E3%81%82"]');
  const titles = await page.$$eval('dt a[href^="mailto:"]', (l) => l.map((a) => a.title));
  check(titles.includes('sage') && titles.includes('a bあ'), `mail tool tips: ${titles}`);
  await page.close();
}

async function main() {
  const config = JSON.parse(fs.readFileSync(process.argv[2], 'utf8'));
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'popup-check-'));
  const browser = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    viewport: { width: 1000, height: 800 },
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  try {
    if (config.real) await realPage(browser, config.real, config.shots);
    if (config.synth) await synthPage(browser, config.synth);
    if (config.world) await worldPage(browser, config.world);
    if (config.search) await searchPage(browser, config.search);
    if (config.hostile) await hostilePage(browser, config.hostile);
    if (config.be) await bePage(browser, config.be, config.shots);
    if (config.bemarks) await beMarksPage(browser, config.bemarks);
    if (config.mail) await mailPage(browser, config.mail);
    for (const file of config.external || []) await externalPage(browser, file);
    if (config.bench) await firstPopup(browser, config.bench, config.runs || 9);
  } finally {
    await browser.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
  process.exit(failures ? 1 : 0);
}

main().catch((e) => { console.error(e); process.exit(2); });
