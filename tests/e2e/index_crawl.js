// Walks an index in Debian's Chromium from its top page and checks that
// every link of every index, tree and thread page lands on a file that
// exists, that every index page and every thread page of the output is
// reached, and that no script of a log runs.
// Usage: node index_crawl.js <output root>... (each with its top page index.html)
'use strict';
const fs = require('fs');
const os = require('os');
const path = require('path');
const { chromium } = require('playwright-core');

const kIndexNames = new Set(['index.html', 'threadlist.html', 'kakolog.html', 'index9.html',
                             'index0.html']);

function allHtml(dir, out) {
  for (const entry of fs.readdirSync(dir, { withFileTypes: true })) {
    const full = path.join(dir, entry.name);
    if (entry.isDirectory()) allHtml(full, out);
    else if (entry.name.endsWith('.html')) out.push(full);
  }
  return out;
}

async function crawl(browser, root) {
  const top = 'index.html';
  const problems = [];
  const seen = new Set();
  const queue = [path.join(root, top)];
  seen.add(queue[0]);
  let links = 0;
  {
    const page = await browser.newPage();
    let dialogs = 0;
    page.on('dialog', async (d) => { dialogs++; await d.dismiss(); });
    await page.route(/^https?:/, (route) => route.abort());
    while (queue.length) {
      const file = queue.shift();
      if (!fs.existsSync(file)) { problems.push(`missing ${file}`); continue; }
      if (!kIndexNames.has(path.basename(file))) {
        // A thread page: its links into the output are read from its text
        // (loading a thread of a thousand posts in the browser costs seconds).
        const text = fs.readFileSync(file, 'latin1');
        for (const m of text.matchAll(/<a href="([^"#:/][^"#:]*)(#[^"]*)?"/g)) {
          const target = decodeURIComponent(new URL(m[1], 'file://' + file).pathname);
          links++;
          if (!fs.existsSync(target)) problems.push(`${file}: link to ${target} leads nowhere`);
        }
        continue;
      }
      await page.goto('file://' + file, { waitUntil: 'domcontentloaded' });
      const found = await page.evaluate(() => ({
        hrefs: Array.from(document.querySelectorAll('a[href]')).map((a) => a.href),
        background: document.body && document.body.background ?
          new URL(document.body.background, document.baseURI).href : '',
        pwned: window.__pwned === true,
      }));
      if (found.pwned) problems.push(`a script ran in ${file}`);
      const targets = found.hrefs.slice();
      if (found.background) targets.push(found.background);
      const isIndex = kIndexNames.has(path.basename(file));
      for (const href of targets) {
        let url;
        try { url = new URL(href); } catch (e) { continue; }  // a log's odd external address
        if (url.protocol !== 'file:') continue;
        const target = decodeURIComponent(url.pathname);
        // A thread page's own addresses (a log's links) are the page writer's
        // business; its links into the output are checked.
        if (!isIndex && !target.startsWith(root + path.sep)) continue;
        links++;
        if (!fs.existsSync(target)) {
          problems.push(`${file}: link to ${target} leads nowhere`);
          continue;
        }
        // Index pages are followed, and so are the pages they list (for their own links).
        if (isIndex && target.endsWith('.html') && target.startsWith(root + path.sep) &&
            !seen.has(target)) {
          seen.add(target);
          queue.push(target);
        }
      }
    }
    if (dialogs) problems.push(`${dialogs} dialogs opened`);
    await page.close();
  }
  // Every page of the output is reached from the top: the index pages and
  // the first part of every thread (later parts and "_o" companions hang
  // off the thread pages).
  for (const file of allHtml(root, [])) {
    const name = path.basename(file);
    if (seen.has(file)) continue;
    if (/_\d{2,5}\.html$/.test(name) && !/_0*1\.html$/.test(name)) continue;
    if (/_o\.html$/.test(name)) continue;
    problems.push(`not reached from the top: ${file}`);
  }
  for (const p of problems) console.log('FAIL ' + p);
  console.log(`${root}: ${seen.size} pages, ${links} links, ${problems.length} problems`);
  return problems.length;
}

async function main() {
  const profile = fs.mkdtempSync(path.join(os.tmpdir(), 'index-crawl-'));
  const browser = await chromium.launchPersistentContext(profile, {
    executablePath: '/usr/bin/chromium',
    headless: true,
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--no-first-run',
           '--disable-background-networking', '--disable-component-update', '--disable-sync'],
  });
  let problems = 0;
  try {
    for (const root of process.argv.slice(2)) problems += await crawl(browser, path.resolve(root));
  } finally {
    await browser.close();
    fs.rmSync(profile, { recursive: true, force: true });
  }
  process.exit(problems ? 1 : 0);
}

main().catch((e) => { console.error(e); process.exit(2); });
