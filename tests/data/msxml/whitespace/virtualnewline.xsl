<?xml version="1.0"?>
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
  xmlns:msxsl="urn:schemas-microsoft-com:xslt" xmlns:js="urn:js">
  <msxsl:script language="JScript" implements-prefix="js">
    function children(list) {
      var node = list.nextNode(), names = [];
      for (var child = node.firstChild; child; child = child.nextSibling) names.push(child.nodeName);
      return node.childNodes.length + ' ' + names.join(',');
    }
  </msxsl:script>
  <xsl:output method="xml" omit-xml-declaration="yes"/>
  <xsl:template match="/">
    <xsl:text>value: [</xsl:text><xsl:value-of select="job/point[1]"/><xsl:text>]&#10;</xsl:text>
    <xsl:text>compact: [</xsl:text><xsl:value-of select="job/point[2]"/><xsl:text>]&#10;</xsl:text>
    <xsl:text>normalized: [</xsl:text><xsl:value-of select="normalize-space(job/point[1])"/><xsl:text>]&#10;</xsl:text>
    <xsl:text>nodes: </xsl:text><xsl:value-of select="count(job/point[1]/node())"/>
    <xsl:text> </xsl:text><xsl:value-of select="count(job/node())"/>
    <xsl:text> </xsl:text><xsl:value-of select="count(//text())"/>
    <xsl:text> </xsl:text><xsl:value-of select="name(job/point[1]/node()[1])"/><xsl:text>&#10;</xsl:text>
    <xsl:text>length of the job: </xsl:text><xsl:value-of select="string-length(/)"/><xsl:text>&#10;</xsl:text>
    <xsl:text>script: </xsl:text><xsl:value-of select="js:children(job/point[1])"/><xsl:text>&#10;</xsl:text>
    <xsl:text>other document: [</xsl:text><xsl:value-of select="document('virtualnewline.xml')/job/point[1]"/><xsl:text>]&#10;</xsl:text>
    <xsl:copy-of select="job/point[1]"/>
    <xsl:text>&#10;</xsl:text>
    <xsl:variable name="copy"><xsl:copy-of select="job/point[1]"/></xsl:variable>
    <xsl:copy-of select="$copy"/>
    <xsl:text>&#10;</xsl:text>
    <xsl:apply-templates select="job/point[1]"/>
    <xsl:text>&#10;</xsl:text>
  </xsl:template>
  <xsl:template match="point">
    <xsl:copy><xsl:apply-templates/></xsl:copy>
  </xsl:template>
</xsl:stylesheet>
