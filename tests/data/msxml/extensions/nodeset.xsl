<?xml version="1.0"?>
<!-- msxsl:node-set over a variable tree and over a string; function-available and
     system-property for the original platform's namespace. -->
<xsl:stylesheet version="1.0" xmlns:xsl="http://www.w3.org/1999/XSL/Transform"
                xmlns:msxsl="urn:schemas-microsoft-com:xslt" xmlns:ms="urn:schemas-microsoft-com:xslt"
                exclude-result-prefixes="msxsl ms">
  <xsl:output method="text"/>
  <xsl:variable name="units">
    <unit name="m" factor="1"/>
    <unit name="ft" factor="0.3048"/>
    <unit name="usft" factor="0.304800609601"/>
  </xsl:variable>
  <xsl:template match="/">
    <xsl:value-of select="concat('units: ', count(msxsl:node-set($units)/unit), '&#10;')"/>
    <xsl:value-of select="concat('ft: ', msxsl:node-set($units)/unit[@name = 'ft']/@factor, '&#10;')"/>
    <xsl:for-each select="msxsl:node-set($units)/unit">
      <xsl:sort select="@factor" data-type="number"/>
      <xsl:value-of select="@name"/>
      <xsl:if test="position() != last()">,</xsl:if>
    </xsl:for-each>
    <xsl:text>&#10;</xsl:text>
    <xsl:value-of select="concat('string: ', msxsl:node-set('abc'), ' ', count(msxsl:node-set('abc')), '&#10;')"/>
    <xsl:value-of select="concat('node-set of a node-set: ', count(msxsl:node-set(//observation)), '&#10;')"/>
    <xsl:value-of select="concat('available: ', function-available('msxsl:node-set'), ' ',
                                 function-available('ms:utc'), ' ', function-available('ms:format-date'), ' ',
                                 function-available('ms:type-is'), ' ', function-available('msxsl:no-such'), '&#10;')"/>
    <xsl:value-of select="concat('version: ', system-property('msxsl:version'), '&#10;')"/>
  </xsl:template>
</xsl:stylesheet>
