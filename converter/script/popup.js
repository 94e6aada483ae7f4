// @piece globals and the load hook
// Pop-up script of the converted thread pages. The build turns this file into
// pieces with layout markers; comments stand on lines of their own and every
// statement ends in a semicolon, because the embedded form joins each piece
// into one line.
var pop = {
  opt: {},
  max: 15,
  lev: 0,
  lay: [],
  ids: null,
  refs: null,
  posts: null,
  order: [],
  res: [],
  src: [],
  msg: [],
  dir: {x: 0, y: 0},
  flg: {cnt: 0, mout: 0, touch: 0},
  timer: {t: 0, i: 0}
};
document.addEventListener('DOMContentLoaded', function () { pop.init(); }, false);

// @piece set-up
pop.init = function () {
  pop.opt.idpopup = 1;
  pop.opt.mailpopup = 1;
  pop.opt.refpopup = 1;
  pop.opt.respopup = 1;
  pop.opt.schpanel = 1;
  pop.opt.opa = 1;
  document.addEventListener('mouseover', pop.over, false);
  document.addEventListener('mouseout', pop.out, false);
  if (pop.opt.idpopup || pop.opt.refpopup) {
    document.addEventListener('mousedown', pop.click, false);
  }
  window.addEventListener('resize', pop.resize, false);
  if (pop.opt.schpanel) {
    pop.panel();
  }
  pop.makeLayers();
};

// @piece click handler
// A left click on a post's header: on its number (or right of the header's
// text) it lists the answers to the post, elsewhere on the date column the
// posts of the same ID.
pop.click = function (e) {
  if (e.button != 0) {
    return;
  }
  var h = pop.header(e.target);
  if (!h) {
    return;
  }
  var n = pop.numberOf(h);
  if (!n) {
    return;
  }
  if (pop.onNumber(e.target, h) || pop.rightOfText(h, e.clientX, e.clientY)) {
    if (pop.opt.refpopup) {
      pop.popRefs(h, n, e);
    }
  } else if (pop.opt.idpopup && pop.inDateColumn(e.target, h)) {
    pop.popId(h, e);
  }
};

// @piece mouse-over handler
pop.over = function (e) {
  var t = e.target;
  var d = pop.depthOf(t);
  var a = pop.link(t);
  pop.flg.touch = d;
  if (a) {
    var k = pop.src.indexOf(a);
    if (k > 0 && k <= pop.lev) {
      pop.flg.touch = Math.max(d, k);
      return;
    }
  }
  if (d > 0) {
    pop.flg.mout = 0;
  }
  if (!a) {
    return;
  }
  if (pop.opt.mailpopup && /^mailto:/i.test(a.getAttribute('href') || '')) {
    pop.mailTitle(a);
    return;
  }
  if (pop.opt.respopup && pop.isAnchor(a)) {
    var list = pop.numbers(a.textContent);
    if (list.length) {
      pop.popRes(a, d, list, e);
    }
  }
};

// @piece mouse-out handler
// Leaving a pop-up's anchor hides the pop-up after 750 ms, leaving a layer
// hides the layers above the one the pointer reaches after 250 ms.
pop.out = function (e) {
  var from = pop.depthOf(e.target);
  var to = pop.depthOf(e.relatedTarget);
  var a = pop.link(e.target);
  if (a && pop.src.indexOf(a) > 0 && !(e.relatedTarget && a.contains(e.relatedTarget))) {
    pop.flg.touch = to;
    pop.later(750);
    return;
  }
  if (from > 0 && to != from) {
    pop.flg.touch = to;
    pop.flg.mout = 1;
    pop.later(250);
  }
};

// @piece timer handler
pop.later = function (ms) {
  clearTimeout(pop.timer.t);
  pop.timer.t = setTimeout(pop.tick, ms);
};
pop.tick = function () {
  pop.timer.t = 0;
  pop.hideAbove(pop.flg.touch);
};

// @piece resize handler
pop.resize = function () {
  pop.hideAbove(0);
};

// @piece layer handlers
pop.makeLayers = function () {
  for (var i = 0; i <= pop.max; i++) {
    var l = document.createElement('div');
    var s = l.style;
    l.id = 'sty' + (i < 10 ? '0' : '') + i;
    s.position = 'absolute';
    s.display = 'none';
    s.zIndex = 50 + i;
    s.fontSize = '12pt';
    s.border = '1px solid gray';
    s.padding = '6px';
    s.color = 'black';
    s.backgroundColor = '#f5fffa';
    s.textAlign = 'left';
    if (pop.opt.opa) {
      s.opacity = '0.95';
    }
    pop.lay[i] = l;
    document.body.appendChild(l);
  }
};
// The depth of the layer that holds an element, 0 for the page.
pop.depthOf = function (el) {
  for (; el && el.nodeType; el = el.parentNode) {
    if (el.nodeType == 1 && /^sty\d\d$/.test(el.id || '')) {
      return parseInt(el.id.substr(3), 10);
    }
  }
  return 0;
};

// @piece anchor, post-number, post-lookup and cursor functions
pop.link = function (el) {
  for (; el && el.nodeType; el = el.parentNode) {
    if (el.nodeType == 1 && el.tagName == 'A') {
      return el;
    }
  }
  return null;
};
// A post anchor: a link inside a post body (or a layer) whose target names a
// post of a thread or of this page.
pop.isAnchor = function (a) {
  var p = a.parentNode;
  if (!p || p == document.body || (p.tagName == 'SPAN' && !pop.depthOf(p))) {
    return false;
  }
  if (!pop.inBody(a)) {
    return false;
  }
  var href = a.getAttribute('href') || '';
  return /\/\d{9,10}\/\d{1,5}(-\d{0,5})?$/.test(href) || /#.{0,3}\d{1,5}$/.test(href);
};
pop.inBody = function (el) {
  for (; el && el.nodeType; el = el.parentNode) {
    if (el.tagName == 'DD' || (el.className == 'popBody')) {
      return true;
    }
    if (el.tagName == 'DT' || el.tagName == 'BODY') {
      return false;
    }
  }
  return false;
};
// The post header (a dt of the page or a header line in a layer) that holds an element.
pop.header = function (el) {
  for (; el && el.nodeType; el = el.parentNode) {
    if (el.tagName == 'DT' || el.className == 'popHead') {
      return el;
    }
    if (el.tagName == 'DD' || el.className == 'popBody' || el.tagName == 'BODY') {
      return null;
    }
  }
  return null;
};
pop.numberOf = function (h) {
  var n = h.getAttribute('data-res');
  if (n) {
    return parseInt(n, 10);
  }
  var a = h.getElementsByTagName('a')[0];
  if (a && a.name) {
    return parseInt(a.name.replace(/^R/, ''), 10) || 0;
  }
  var m = /^\s*(\d+)/.exec(h.textContent);
  return m ? parseInt(m[1], 10) : 0;
};
pop.onNumber = function (t, h) {
  var a = pop.link(t);
  if (a && a.parentNode == h && (a.name || a == h.getElementsByTagName('a')[0] && !a.href)) {
    return true;
  }
  return t.className == 'popNum';
};
// Indexes the posts of the page once: number to header, in page order. The
// layers hold no dt elements, so every dt is a post of the page.
pop.index = function () {
  if (pop.posts) {
    return;
  }
  pop.posts = {};
  var dts = document.getElementsByTagName('dt');
  for (var i = 0; i < dts.length; i++) {
    var n = pop.numberOf(dts[i]);
    if (n && !pop.posts[n]) {
      pop.posts[n] = dts[i];
      pop.order.push(n);
    }
  }
};
// The header of post n; before the index exists, through the post's named
// anchor, so that the first pop-up of a long page does not wait for the index.
pop.post = function (n) {
  if (pop.posts) {
    return pop.posts[n];
  }
  var named = document.getElementsByName('R' + n);
  if (!named.length) {
    named = document.getElementsByName(String(n));
  }
  for (var i = 0; i < named.length; i++) {
    if (named[i].parentNode.tagName == 'DT') {
      return named[i].parentNode;
    }
  }
  pop.index();
  return pop.posts[n];
};
pop.bodyOf = function (dt) {
  for (var el = dt.nextElementSibling; el; el = el.nextElementSibling) {
    if (el.tagName == 'DD') {
      return el;
    }
    if (el.tagName == 'DT') {
      break;
    }
  }
  return null;
};
pop.cursor = function (e) {
  return {x: e.pageX, y: e.pageY};
};

// @piece multiple pop-up control
// Pop-ups never branch: opening one from a lower layer first closes the
// layers above it. The same list is not shown a third time.
pop.canOpen = function (d, key) {
  if (d + 1 > pop.max) {
    return false;
  }
  pop.hideAbove(d);
  var seen = 0;
  for (var i = 1; i <= d; i++) {
    if (pop.res[i] == key) {
      seen++;
    }
  }
  return seen < 2;
};
pop.popRes = function (a, d, list, e) {
  var key = list.join(' ');
  if (!pop.canOpen(d, key)) {
    return;
  }
  var shown = [];
  for (var i = 0; i < list.length; i++) {
    if (pop.post(list[i])) {
      shown.push(list[i]);
    }
  }
  if (!shown.length) {
    return;
  }
  pop.show(d + 1, pop.compose(shown), pop.cursor(e), 'res', key, a);
};
pop.popId = function (h, e) {
  var id = pop.idOf(h);
  var d = pop.depthOf(h);
  if (!id || id.substr(0, 3) == '???' || !pop.canOpen(d, 'ID:' + id)) {
    return;
  }
  pop.findIds();
  var list = pop.ids[id] || [];
  if (list.length > 1) {
    pop.show(d + 1, pop.compose(list), pop.cursor(e), 'id', 'ID:' + id, null);
  } else {
    pop.show(d + 1, pop.message("(他に同じIDの投稿はありません)"), pop.cursor(e), 'id', 'ID:' + id, null);
  }
};
pop.popRefs = function (h, n, e) {
  var d = pop.depthOf(h);
  var key = '<' + n;
  if (!pop.canOpen(d, key)) {
    return;
  }
  pop.findRefs();
  var list = pop.refs[n] || [];
  if (list.length) {
    pop.show(d + 1, pop.compose(list), pop.cursor(e), 'ref', key, null);
  } else {
    pop.show(d + 1, pop.message("(この投稿に対するレスはありません)"), pop.cursor(e), 'ref', key, null);
  }
};

// @piece pop-up composer
// A layer holds copies of the posts' own nodes, never markup made from their
// text, so whatever a log holds as text stays text.
pop.compose = function (list) {
  var box = document.createDocumentFragment();
  for (var i = 0; i < list.length; i++) {
    var dt = pop.post(list[i]);
    if (!dt) {
      continue;
    }
    var head = document.createElement('div');
    head.className = 'popHead';
    head.setAttribute('data-res', list[i]);
    pop.copyInto(head, dt);
    box.appendChild(head);
    var dd = pop.bodyOf(dt);
    var body = document.createElement('div');
    body.className = 'popBody';
    body.style.marginLeft = '28px';
    body.style.marginBottom = '6px';
    if (dd) {
      pop.copyInto(body, dd);
    }
    box.appendChild(body);
  }
  return box;
};
pop.copyInto = function (to, from) {
  for (var c = from.firstChild; c; c = c.nextSibling) {
    var copy = c.cloneNode(true);
    if (copy.nodeType == 1) {
      var named = copy.tagName == 'A' ? [copy] : copy.getElementsByTagName('a');
      for (var j = 0; j < named.length; j++) {
        if (named[j].name) {
          named[j].removeAttribute('name');
          named[j].className = 'popNum';
        }
      }
    }
    to.appendChild(copy);
  }
};
pop.message = function (text) {
  var m = document.createElement('div');
  m.className = 'popMsg';
  m.appendChild(document.createTextNode(text));
  return m;
};

// @piece pop-up display
// The layer opens 12 px right of the pointer, towards the half of the window
// with more room, and gets the window's height and a scroll bar when taller.
pop.show = function (d, content, at, kind, key, source) {
  var l = pop.lay[d];
  var s = l.style;
  var de = document.documentElement;
  var vw = de.clientWidth;
  var vh = window.innerHeight;
  var sx = window.pageXOffset;
  var sy = window.pageYOffset;
  clearTimeout(pop.timer.t);
  while (l.firstChild) {
    l.removeChild(l.firstChild);
  }
  l.appendChild(content);
  s.height = '';
  s.overflow = '';
  s.left = sx + 'px';
  s.top = sy + 'px';
  s.visibility = 'hidden';
  s.display = 'block';
  var w = l.offsetWidth;
  var h = l.offsetHeight;
  var x = at.x + 12;
  var y;
  if (kind == 'id') {
    var below = pop.lay[d - 1];
    if (d > 1 && below.style.display == 'block') {
      x = below.offsetLeft + 54;
      y = below.offsetTop + 32;
    } else {
      x = at.x - 70;
      y = at.y + 29;
    }
  }
  if (x + w > sx + vw) {
    x = Math.max(sx, sx + vw - w);
  }
  x = Math.max(sx, x);
  if (h > vh) {
    s.height = (vh - 14) + 'px';
    s.overflow = 'auto';
    y = sy;
  } else if (kind != 'id') {
    if (kind == 'ref') {
      pop.dir.y = 1;
    } else if (d == 1 || !pop.dir.y) {
      pop.dir.y = at.y - sy > vh / 2 ? -1 : 1;
    }
    var down = at.y + 8;
    var up = at.y - h - 8;
    if (pop.dir.y > 0 && down + h > sy + vh && up >= sy && kind != 'ref') {
      pop.dir.y = -1;
    } else if (pop.dir.y < 0 && up < sy && down + h <= sy + vh) {
      pop.dir.y = 1;
    }
    y = pop.dir.y > 0 ? down : Math.max(sy, up);
  } else if (y + h > sy + vh) {
    y = Math.max(sy, sy + vh - h);
  }
  pop.dir.x = x < at.x ? -1 : 1;
  s.left = x + 'px';
  s.top = y + 'px';
  s.visibility = 'visible';
  pop.lev = d;
  pop.res[d] = key;
  pop.src[d] = source;
  pop.msg[d] = content.className == 'popMsg';
  pop.flg.cnt++;
  if (pop.msg[d]) {
    clearTimeout(pop.timer.i);
    pop.timer.i = setTimeout(function () {
      if (pop.msg[d] && pop.lev >= d) {
        pop.hideAbove(d - 1);
      }
    }, 700);
  }
};

// @piece hiding
pop.hideAbove = function (d) {
  for (var i = pop.lev; i > d; i--) {
    pop.lay[i].style.display = 'none';
    while (pop.lay[i].firstChild) {
      pop.lay[i].removeChild(pop.lay[i].firstChild);
    }
    pop.res[i] = '';
    pop.src[i] = null;
    pop.msg[i] = false;
  }
  if (pop.lev > d) {
    pop.lev = d;
  }
};

// @piece date-column position test
// Right of the header's last text counts as the number (the answers), the
// name and the links in a header are no date column.
pop.rightOfText = function (h, x, y) {
  var r = document.createRange();
  r.selectNodeContents(h);
  var boxes = r.getClientRects();
  if (!boxes.length) {
    return false;
  }
  var last = boxes[boxes.length - 1];
  return y >= last.top && y <= last.bottom && x > last.right;
};
pop.inDateColumn = function (t, h) {
  for (var el = t; el && el != h; el = el.parentNode) {
    if (el.tagName == 'A' || el.tagName == 'B' || el.tagName == 'FONT') {
      return false;
    }
  }
  return true;
};

// @piece full-width digit converter
pop.half = function (s) {
  return s.replace(/[\uFF10-\uFF19\uFF0B\uFF0D\uFF0C\uFF1E]/g, function (c) {
    return String.fromCharCode(c.charCodeAt(0) - 0xFEE0);
  });
};
// The post numbers an anchor's text names: ranges run from the first number
// to the second (the first + 24 when it is missing, at most the first + 999);
// at most 25 numbers.
pop.numbers = function (text) {
  var t = pop.half(text).replace(/&gt;|>/g, '').replace(/[+,]/g, ' ');
  t = t.replace(/^\s+|\s+$/g, '');
  var list = [];
  if (!t || !/^[0-9 \-]+$/.test(t)) {
    return list;
  }
  var parts = t.split(/ +/);
  for (var i = 0; i < parts.length && list.length < 25; i++) {
    var m = /^(\d+)(-(\d*))?$/.exec(parts[i]);
    if (!m) {
      continue;
    }
    var from = parseInt(m[1], 10);
    var to = from;
    if (m[2]) {
      to = m[3] ? parseInt(m[3], 10) : from + 24;
      to = Math.min(to, from + 999);
    }
    for (var n = from; n <= to && list.length < 25; n++) {
      list.push(n);
    }
  }
  return list;
};

// @piece reference finder
// Every post is registered once under each earlier post it names.
pop.findRefs = function () {
  if (pop.refs) {
    return;
  }
  pop.index();
  pop.refs = {};
  for (var i = 0; i < pop.order.length; i++) {
    var n = pop.order[i];
    var dd = pop.bodyOf(pop.posts[n]);
    if (!dd) {
      continue;
    }
    var seen = {};
    var links = dd.getElementsByTagName('a');
    for (var j = 0; j < links.length; j++) {
      if (!pop.isAnchor(links[j])) {
        continue;
      }
      var list = pop.numbers(links[j].textContent);
      for (var k = 0; k < list.length; k++) {
        var m = list[k];
        if (m < n && !seen[m]) {
          seen[m] = 1;
          (pop.refs[m] = pop.refs[m] || []).push(n);
        }
      }
    }
  }
};

// @piece ID finder
pop.idOf = function (h) {
  var m = /ID:([A-Za-z0-9\/+.?]+)/.exec(h.textContent);
  return m ? m[1] : '';
};
pop.findIds = function () {
  if (pop.ids) {
    return;
  }
  pop.index();
  pop.ids = {};
  for (var i = 0; i < pop.order.length; i++) {
    var id = pop.idOf(pop.posts[pop.order[i]]);
    if (id && id.substr(0, 3) != '???') {
      (pop.ids[id] = pop.ids[id] || []).push(pop.order[i]);
    }
  }
};
pop.mailTitle = function (a) {
  var m = (a.getAttribute('href') || '').replace(/^mailto:/i, '');
  if (m.indexOf('%') >= 0) {
    try {
      m = decodeURIComponent(m);
    } catch (err) {
      m = unescape(m);
    }
  }
  a.title = m;
};

// @piece search panel
// A small form near the top right; it hides the posts whose header and body
// both fail the pattern.
pop.panel = function () {
  var f = document.createElement('form');
  var s = f.style;
  f.id = 'popSearch';
  s.position = 'fixed';
  s.top = '15px';
  s.left = '66.6%';
  s.width = '33%';
  s.margin = '0';
  s.padding = '2px';
  s.zIndex = '100';
  s.opacity = '0.3';
  s.fontSize = '10pt';
  s.backgroundColor = '#f5fffa';
  f.innerHTML = '<input type="text" name="pattern" style="width:55%"> <input type="submit" value="検索"> <span class="popStatus"></span>';
  f.addEventListener('mouseover', function () { s.opacity = '1'; }, false);
  f.addEventListener('mouseout', function () { s.opacity = document.activeElement == f.pattern ? '1' : '0.3'; }, false);
  f.addEventListener('submit', function (e) {
    e.preventDefault();
    pop.search(f.pattern.value);
  }, false);
  document.body.appendChild(f);
};
pop.say = function (text) {
  var f = document.getElementById('popSearch');
  if (f) {
    f.getElementsByTagName('span')[0].textContent = text;
  }
};
pop.search = function (pattern) {
  var re;
  try {
    re = new RegExp(pattern, 'i');
  } catch (err) {
    pop.say(window.status="※ 正規表現で構文エラーが発生しました");
    return;
  }
  pop.hideAbove(0);
  pop.index();
  var l = pop.order.length;
  var cnt = 0;
  var first = null;
  for (var i = 0; i < l; i++) {
    var dt = pop.posts[pop.order[i]];
    var dd = pop.bodyOf(dt);
    var hit = re.test(dt.textContent) || (dd && re.test(dd.textContent));
    dt.style.display = hit ? '' : 'none';
    if (dd) {
      dd.style.display = hit ? '' : 'none';
    }
    if (hit) {
      cnt++;
      first = first || dt;
    }
  }
  if (first) {
    first.scrollIntoView();
  }
  pop.say(window.status="※ "+cnt+" / "+l+" 件の検索結果");
};
