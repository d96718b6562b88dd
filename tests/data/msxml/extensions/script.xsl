<?xml version="1.0"?>
<!-- JScript as the original platform's users write it: a formatting function, node lists
     passed in and walked, values of every kind passed and returned. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
                xmlns:msxsl="urn:schemas-microsoft-com:xslt" xmlns:user="urn:survey-scripts"
                exclude-result-prefixes="msxsl user">
  <xsl:output method="text"/>

  <msxsl:script language="JScript" implements-prefix="user"><![CDATA[
    // Degrees as degrees, minutes and seconds, seconds rounded to whole seconds.
    function dms(value) {
      var total = Math.round(Number(value) * 3600);
      var sign = total < 0 ? "-" : "";
      total = Math.abs(total);
      var d = Math.floor(total / 3600), m = Math.floor(total / 60) % 60, s = total % 60;
      return sign + d + "\u00B0" + (m < 10 ? "0" : "") + m + "'" + (s < 10 ? "0" : "") + s + "\"";
    }
    function describe(nodes) {
      var parts = [];
      for (var i = 0; i < nodes.length; i++) {
        var node = nodes.item(i);
        parts.push(node.nodeName + "=" + node.getAttribute("point") + "/" + node.attributes.length);
      }
      return parts.join(";");
    }
    function codes(nodes) {
      var result = "", node;
      while ((node = nodes.nextNode()) != null)
        result += node.getAttribute("code").toLowerCase();
      nodes.reset();
      return result + ":" + nodes.nextNode().getAttribute("code");
    }
    function kinds(s, n, b, nodes) {
      return typeof s + "," + typeof n + "," + typeof b + "," + typeof nodes + "," + (n * 2) + "," + !b;
    }
  ]]></msxsl:script>

  <msxsl:script language="javascript" implements-prefix="user">
    function treeText(nodes) {
      var root = nodes.item(0);
      return root.childNodes.length + ":" + root.text + ":" + root.firstChild.nodeName + ":" + root.nodeType;
    }
    function firstTwo(nodes) {
      return nodes;   /* a node list comes back as a node-set */
    }
    function isEven(n) { return n % 2 == 0; }
    function nothing() { }
    function globals() {
      var names = ["require", "print", "alert", "console", "XMLHttpRequest", "ActiveXObject", "WScript", "process"];
      var found = [];
      for (var i = 0; i &lt; names.length; i++)
        if (typeof this[names[i]] != "undefined") found.push(names[i]);
      return found.length == 0 ? "none" : found.join(",");
    }
  </msxsl:script>

  <xsl:variable name="tree"><item>first</item><item>second</item></xsl:variable>

  <xsl:template match="/">
    <xsl:for-each select="//observation">
      <xsl:value-of select="concat(@point, ' ', user:dms(number(@hz)), '&#10;')"/>
    </xsl:for-each>
    <xsl:value-of select="concat(user:dms(-12.25), '&#10;')"/>
    <xsl:value-of select="concat(user:describe(//observation), '&#10;')"/>
    <xsl:value-of select="concat(user:codes(//observation), '&#10;')"/>
    <xsl:value-of select="concat(user:kinds('text', 21, true(), //observation), '&#10;')"/>
    <xsl:value-of select="concat(user:treeText(msxsl:node-set($tree)), '&#10;')"/>
    <xsl:value-of select="concat(count(user:firstTwo(//observation[position() &lt; 3])), ' ',
                                 user:firstTwo(//observation)/@point, '&#10;')"/>
    <xsl:value-of select="concat(user:isEven(4), ' ', user:isEven(3), ' [', user:nothing(), ']&#10;')"/>
    <xsl:value-of select="concat('reachable: ', user:globals(), '&#10;')"/>
    <xsl:value-of select="concat(function-available('user:dms'), ' ', function-available('user:missing'), '&#10;')"/>
  </xsl:template>
</xsl:stylesheet>
