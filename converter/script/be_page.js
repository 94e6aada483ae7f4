// @piece Be page script
// Pages of Be boards: level filter buttons, folding posts by a double click,
// links to the members' profiles, and the name and mail fields kept in cookies.
var beBase = '@THREAD_ADDRESS@';
var beLevel = '';
function beCookies() {
  var c = {};
  var parts = document.cookie ? document.cookie.split(/;\s*/) : [];
  for (var i = 0; i < parts.length; i++) {
    var at = parts[i].indexOf('=');
    if (at > 0) {
      try {
        c[parts[i].substr(0, at + 1)] = unescape(parts[i].substr(at + 1));
      } catch (err) {
        c[parts[i].substr(0, at + 1)] = '';
      }
    }
  }
  return c;
}
// Cookies live a year, for the whole site.
function beSetCookie(name, value) {
  var until = new Date(new Date().getTime() + 365 * 24 * 3600 * 1000);
  document.cookie = name + escape(value) + '; expires=' + until.toUTCString() + '; path=/; SameSite=Lax';
}
function beBodyOf(dt) {
  for (var el = dt.nextElementSibling; el; el = el.nextElementSibling) {
    if (el.tagName == 'DD') {
      return el;
    }
    if (el.tagName == 'DT') {
      break;
    }
  }
  return null;
}
function beFold(dt, show) {
  var dd = beBodyOf(dt);
  if (dd) {
    dd.style.display = show ? '' : 'none';
  }
  dt.style.fontStyle = show ? 'normal' : 'italic';
}
// A post is shown when its header matches the level pattern before a link's
// end. The post's own number link is no level and is left out of the match,
// and the empty pattern shows every post.
function beApply() {
  var re = null;
  if (beLevel) {
    try {
      re = new RegExp(beLevel + '</a', 'i');
    } catch (err) {
      re = null;
    }
  }
  var dts = document.getElementsByTagName('dt');
  for (var i = dts.length - 1; i > 0; i--) {
    var html = dts[i].innerHTML.replace(/^\s*<a name="?R?\d+"?>\d+<\/a>/i, '');
    beFold(dts[i], !re || re.test(html));
  }
}
// A Be mark "<BE:id:level>" (text of the header) becomes a link "Lv.level"
// that opens the member's profile.
function beMarks(dt) {
  var walker = document.createTreeWalker(dt, NodeFilter.SHOW_TEXT, null);
  var found = [];
  for (var t = walker.nextNode(); t; t = walker.nextNode()) {
    if (/<BE:\d+:\d+>/i.test(t.data)) {
      found.push(t);
    }
  }
  for (var i = 0; i < found.length; i++) {
    var text = found[i];
    var m;
    while ((m = /<BE:(\d+):(\d+)>/i.exec(text.data))) {
      var rest = text.splitText(m.index);
      rest.data = rest.data.substr(m[0].length);
      var a = document.createElement('a');
      a.href = '#';
      a.appendChild(document.createTextNode('Lv.' + m[2]));
      a.setAttribute('data-be', m[1]);
      a.setAttribute('data-res', dt.getAttribute('title') || '');
      a.addEventListener('click', function (e) {
        e.preventDefault();
        be(this.getAttribute('data-be'), this.getAttribute('data-res'));
      }, false);
      rest.parentNode.insertBefore(a, rest);
      text = rest;
    }
  }
}
function start() {
  var c = beCookies();
  beLevel = c['LEVEL&='] || '';
  var hash = location.hash ? location.hash.substr(1) : '';
  if (hash && !/^R?\d+$/.test(hash)) {
    beLevel = decodeURIComponent(hash);
  }
  var dts = document.getElementsByTagName('dt');
  for (var i = dts.length - 1; i > 0; i--) {
    var dt = dts[i];
    dt.addEventListener('mouseover', function () { this.style.backgroundColor = '#FFEFEF'; }, false);
    dt.addEventListener('mouseout', function () { this.style.backgroundColor = '#EFEFEF'; }, false);
    dt.addEventListener('dblclick', function () {
      var dd = beBodyOf(this);
      beFold(this, dd && dd.style.display == 'none');
    }, false);
    beMarks(dt);
    var dd = beBodyOf(dt);
    if (dd) {
      dt.title = dd.textContent.replace(/\s+/g, ' ').substr(0, 50);
    }
  }
  beApply();
  var name = c['NAME&='];
  var mail = c['MAIL&='];
  if (name || mail) {
    for (var f = 0; f < document.forms.length; f++) {
      var form = document.forms[f];
      if (form.FROM && form.mail) {
        form.FROM.value = name || '';
        form.mail.value = mail || '';
      }
    }
  }
}
function grep(pattern) {
  beLevel = pattern;
  beSetCookie('LEVEL&=', pattern);
  beApply();
}
function post(form) {
  beSetCookie('NAME&=', form.FROM ? form.FROM.value : '');
  beSetCookie('MAIL&=', form.mail ? form.mail.value : '');
}
function be(id, r) {
  var w = window.open('http://be.2ch.net/test/p.php?i=' + id + '&u=d:' + beBase + r, 'profile', 'width=555,height=555,resizable=yes,toolbar=yes,scrollbars=yes');
  if (w) {
    w.focus();
  }
}
